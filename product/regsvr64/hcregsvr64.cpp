// "hcregsvr64.exe": registers (or with " -u " unregisters) the one DLL named
// after " -f", by loading it and calling its self-registration entry point.
// The setup program starts it as " -f<path>" or " -u  -f<path>", without a
// program name in front and with the path unquoted; a program name in front,
// and a path in quotes, are accepted too.
//
// Exit codes:
//   0  the entry point returned S_OK
//   1  no " -f" path on the command line
//   2  the DLL did not load
//   3  the DLL lacks the entry point
//   4  the entry point returned a failure HRESULT
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <cstring>

#include "../asio/standin_win.h"

namespace {

enum ExitCode { EXIT_DONE = 0, EXIT_USAGE = 1, EXIT_NO_DLL = 2, EXIT_NO_ENTRY = 3, EXIT_ENTRY_FAILED = 4 };

using SelfRegisterFn = HRESULT(STDAPICALLTYPE*)();

// Skips the program name when the line starts with one.
const char* SkipProgramName(const char* line) {
  if (*line == '"') {
    const char* end = strchr(line + 1, '"');
    return end ? end + 1 : line + strlen(line);
  }
  while (*line && *line != ' ' && *line != '\t') ++line;
  return line;
}

// Everything after the first " -f", trailing blanks and surrounding quotes removed.
int TakePath(const char* args, char* out, size_t size) {
  const char* start = strstr(args, " -f");
  if (!start) return 0;
  start += 3;
  size_t length = strlen(start);
  while (length > 0 && (start[length - 1] == ' ' || start[length - 1] == '\t')) --length;
  if (length >= 2 && start[0] == '"' && start[length - 1] == '"') {
    ++start;
    length -= 2;
  }
  if (length == 0 || length >= size) return 0;
  memcpy(out, start, length);
  out[length] = '\0';
  return 1;
}

int Run() {
  const char* line = GetCommandLineA();
  // The exact line as received and the folder it was started in, so tests can
  // check what the setup program passed (as the driver setup stand-ins log).
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof(directory), directory);
  char log_line[4096];
  snprintf(log_line, sizeof(log_line), "hcregsvr64 [%s] in %s", line, directory);
  StandinLog(log_line);

  const char* args = (*line == ' ' || *line == '\t') ? line : SkipProgramName(line);
  char path[MAX_PATH * 4];
  if (!TakePath(args, path, sizeof(path))) return EXIT_USAGE;
  const char* unregister = strstr(args, " -u ");
  int do_register = !(unregister && unregister < strstr(args, " -f"));

  if (StandinEnvNames(QV_ENV_REGSVR64_HANG, path)) Sleep(QV_REGSVR64_HANG_MS);

  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return EXIT_NO_DLL;
  const char* entry_name = do_register ? "DllRegisterServer" : "DllUnregisterServer";
  auto entry = reinterpret_cast<SelfRegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, entry_name)));
  int result = EXIT_NO_ENTRY;
  if (entry) result = entry() == S_OK ? EXIT_DONE : EXIT_ENTRY_FAILED;
  FreeLibrary(module);
  return result;
}

}  // namespace

int main() {
  // Self-registration code may use COM, as under the system's own registration tool.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = Run();
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
