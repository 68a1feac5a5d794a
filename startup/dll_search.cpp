// Where libraries loaded by name may come from.
#include <windows.h>

#include <cstring>

#include "startup/startup.h"

using SetDefaultDllDirectoriesFn = decltype(&::SetDefaultDllDirectories);

void HardenDllSearch() {
  // The program runs elevated from a downloads folder, where anyone can drop a
  // DLL beside it: take the program's folder and the current one out of the
  // search for everything loaded by name from now on.
  SetDllDirectoryA("");
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  // On Vista, CLSID_ShellLink cannot be created once the default directories
  // are restricted, so there the system DLLs that the shell would pull in are
  // loaded from the system folder instead.
  bool vista = GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto set_default = kernel == nullptr ? nullptr
                     : reinterpret_cast<SetDefaultDllDirectoriesFn>(
                           reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && !vista) {
    set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return;
  }
  static const char* const preload[] = {"uxtheme.dll", "userenv.dll", "setupapi.dll", "apphelp.dll",
                                        "propsys.dll", "dwmapi.dll",  "cryptbase.dll", "oleacc.dll",
                                        "version.dll", "shfolder.dll", "ntmarta.dll", "profapi.dll"};
  char path[MAX_PATH + 32];
  for (const char* name : preload) {
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    strcat(path, "\\");
    strcat(path, name);
    LoadLibraryA(path);
  }
}
