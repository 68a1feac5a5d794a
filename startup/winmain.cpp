// Process entry: hands the argument text to SetupMain and ends with its result.
#include <windows.h>

#include "startup/cmdline.h"
#include "startup/startup.h"
#include "system/run_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const int exit_code = SetupMain(instance, SkipProgramName(GetCommandLineA()));
  RunLogExit(exit_code);
  ExitProcess(static_cast<UINT>(exit_code));
}
