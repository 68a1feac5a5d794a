#include "startup/cmdline.h"

#include <cstring>

int32_t SilentFlag = 0;
int32_t InstallFlag = 0;
int32_t UninstallFlag = 0;

void ParseCommandLine(const char* text) {
  if (text == nullptr || text[0] == '\0' || text[1] == '\0') return;
  for (size_t i = 0;; i += 2) {
    // A '-' counts wherever it stands; only the char right after it is looked at,
    // and that char is never itself taken as a '-'.
    while (text[i] != '-' && text[i] != '\0') ++i;
    if (text[i] == '\0') return;
    char option = text[i + 1];
    if (option == '\0') return;
    if (option == 'h' || option == 'H') SilentFlag = 1;
    if (option == 'u' || option == 'U') UninstallFlag = 1;
    if (option == 'i') InstallFlag = 1;
  }
}

const char* SkipProgramName(const char* command_line) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(command_line);
  if (p == nullptr) return "";
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p >= 1 && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}
