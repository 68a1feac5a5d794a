// Process entry: hands the argument text to SetupMain and ends with its result.
#include <windows.h>

#include "startup/cmdline.h"
#include "startup/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ExitProcess(static_cast<UINT>(SetupMain(instance, SkipProgramName(GetCommandLineA()))));
}
