// qvrun PROGRAM [ARGUMENTS...]
// Starts the rest of its own command line as it stands, waits for it, and prints
// the exit code that GetExitCodeProcess reports, all 32 bits, as a signed
// decimal number on a line of its own. Exits with the same code.
// When the program cannot be started it prints nothing on stdout and exits 127.
// Wide throughout: a program in a folder named outside the ANSI code page
// ("C:\users\Łukasz\...") is started from where it is.
#include <windows.h>
#include <cstdio>

namespace {

// The argument text after the program name: up to the closing quote when the
// command line starts with one, else up to the first blank; blanks after it skipped.
const wchar_t* SkipOwnName(const wchar_t* line) {
  if (*line == L'"') {
    line++;
    while (*line && *line != L'"') line++;
    if (*line == L'"') line++;
  } else {
    while (*line > L' ') line++;
  }
  while (*line && *line <= L' ') line++;
  return line;
}

}  // namespace

int main() {
  const wchar_t* rest = SkipOwnName(GetCommandLineW());
  if (!*rest) {
    fputs("usage: qvrun PROGRAM [ARGUMENTS...]\n", stderr);
    return 127;
  }
  static wchar_t command_line[32768];
  lstrcpynW(command_line, rest, sizeof command_line / sizeof command_line[0]);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "qvrun: cannot start %ls (error %lu)\n", rest, GetLastError());
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
