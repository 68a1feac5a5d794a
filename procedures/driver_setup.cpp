// Runs a driver setup program of the product and waits for it: the install
// and the removal both use it.
#include "procedures/driver_setup.h"

#include "system/text.h"
#include "system/wait.h"

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "32-bit STARTUPINFOA");
#endif

int32_t RunDriverSetup(const char* application, const char* command_line, const char* directory) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  DWORD exit_code = static_cast<DWORD>(-1);

  // CreateProcess may write into the command line, so it gets a copy.
  char line[2048];
  if (!CopyText(line, sizeof line, command_line)) return -605;
  if (!CreateProcessA(application, line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, directory,
                      &startup, &process))
    return -605;
  if (process.hThread) CloseHandle(process.hThread);
  if (!process.hProcess) return -604;

  // No time-out: a driver setup may take long. It may also broadcast to every
  // window, this program's included, and wait for the answer.
  WaitAnsweringSentMessages(process.hProcess, INFINITE);
  if (!GetExitCodeProcess(process.hProcess, &exit_code)) exit_code = static_cast<DWORD>(-1);
  CloseHandle(process.hProcess);
  return static_cast<int32_t>(exit_code);
}
