// Where libraries loaded by name may come from.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "startup/startup.h"

// Both arrived after Windows 2000 (SetDllDirectoryA with XP SP1,
// SetDefaultDllDirectories with Windows 8 and the Vista/7 update), so they are
// looked up at run time; the types are their prototypes in kernel32.
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR path);
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
// MinGW's headers declare both whatever the target version: hold the types to them.
static_assert(std::is_same<SetDllDirectoryFn, decltype(&::SetDllDirectoryA)>::value, "SetDllDirectoryA");
static_assert(std::is_same<SetDefaultDllDirectoriesFn, decltype(&::SetDefaultDllDirectories)>::value,
              "SetDefaultDllDirectories");
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {
template <typename Fn>
Fn Kernel32Function(HMODULE kernel, const char* name) {
  return kernel == nullptr ? nullptr
                           : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}
}  // namespace

void HardenDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  // The program runs elevated from a downloads folder, where anyone can drop a
  // DLL beside it: take the program's folder and the current one out of the
  // search for everything loaded by name from now on.
  if (auto set_dll_directory = Kernel32Function<SetDllDirectoryFn>(kernel, "SetDllDirectoryA"))
    set_dll_directory("");
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  // On Vista, CLSID_ShellLink cannot be created once the default directories
  // are restricted, so there the system DLLs that the shell would pull in are
  // loaded from the system folder instead.
  bool vista = GetVersionExA(&version) && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
  auto set_default = Kernel32Function<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
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
