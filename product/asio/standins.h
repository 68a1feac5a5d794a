// The ASIO driver stand-ins and the switches that tests use to steer them.
// Shared by the six DLLs, "hcregsvr64.exe" and the tests; no windows.h needed.
#pragma once
#include <cstring>

struct AsioStandin {
  const char* stem;   // file name without ".dll"
  const char* clsid;  // the COM class the DLL registers, in registry form
};

constexpr AsioStandin ASIO_STANDINS[6] = {
    {"hcqv_asiodriver", "{C5C2EF04-7AC8-4B44-B2E4-DFFD87A7ACDB}"},
    {"hcqvaux_asiodriver", "{A456A754-16CA-4064-BEAD-63A4881A43EE}"},
    {"hcqvins_asiodriver", "{25292E39-1E90-4EBD-A2E9-94C90111ACA2}"},
    {"hcqv_asiodriver64", "{A29A27EA-0F06-482C-8B39-672612406445}"},
    {"hcqvaux_asiodriver64", "{5D0F16A7-EBBB-4523-8006-4463D354B1B5}"},
    {"hcqvins_asiodriver64", "{D2CACC8E-C92A-4C8B-995D-194B7EEDF7E4}"},
};

// Environment variables, each unset in normal use:
//   QV_STANDIN_LOG    file that the DLLs and "hcregsvr64.exe" append one line per call to
//   QV_ASIO_FAIL      ';'-separated DLL file names whose entry points fail
//   QV_REGSVR64_HANG  ';'-separated DLL file names for which "hcregsvr64.exe" hangs
#define QV_ENV_STANDIN_LOG "QV_STANDIN_LOG"
#define QV_ENV_ASIO_FAIL "QV_ASIO_FAIL"
#define QV_ENV_REGSVR64_HANG "QV_REGSVR64_HANG"
// How long a hanging "hcregsvr64.exe" sleeps: well past the setup program's 10 s wait.
constexpr unsigned long QV_REGSVR64_HANG_MS = 60000;

// 1 when `list` (';'-separated) names the file at the end of `path`, ignoring case.
inline int StandinListNames(const char* list, const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  size_t name_length = strlen(name);
  while (*list) {
    const char* end = list;
    while (*end && *end != ';') ++end;
    if (static_cast<size_t>(end - list) == name_length) {
      size_t i = 0;
      while (i < name_length) {
        char a = list[i], b = name[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) break;
        ++i;
      }
      if (i == name_length && name_length > 0) return 1;
    }
    list = *end ? end + 1 : end;
  }
  return 0;
}
