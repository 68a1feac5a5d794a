// qvrun PROGRAM [ARGUMENTS...]
// Starts the rest of its own command line as it stands, waits for it, and prints
// the exit code that GetExitCodeProcess reports, all 32 bits, as a signed
// decimal number on a line of its own. Exits with the same code.
// When the program cannot be started it prints nothing on stdout and exits 127.
#include <windows.h>
#include <cstdio>

namespace {

// The argument text after the program name: up to the closing quote when the
// command line starts with one, else up to the first blank; blanks after it skipped.
const char* SkipOwnName(const char* line) {
  if (*line == '"') {
    line++;
    while (*line && *line != '"') line++;
    if (*line == '"') line++;
  } else {
    while (static_cast<unsigned char>(*line) > ' ') line++;
  }
  while (*line && static_cast<unsigned char>(*line) <= ' ') line++;
  return line;
}

}  // namespace

int main() {
  const char* rest = SkipOwnName(GetCommandLineA());
  if (!*rest) {
    fputs("usage: qvrun PROGRAM [ARGUMENTS...]\n", stderr);
    return 127;
  }
  static char command_line[32768];
  lstrcpynA(command_line, rest, sizeof command_line);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "qvrun: cannot start %s (error %lu)\n", rest, GetLastError());
    return 127;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  int read = GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!read) {
    fprintf(stderr, "qvrun: no exit code (error %lu)\n", GetLastError());
    return 127;
  }
  printf("%ld\n", static_cast<long>(static_cast<LONG>(code)));
  fflush(stdout);
  return static_cast<int>(code);
}
