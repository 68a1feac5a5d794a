// Where libraries loaded by name may come from.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "startup/startup.h"
#include "system/text.h"
#ifdef QV_DLL_SEARCH_HOOK
#include "startup/environment_hooks.h"
#endif

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

#ifdef QV_DLL_SEARCH_HOOK
decltype(&::GetProcAddress) g_dll_search_lookup = GetProcAddress;
#define QV_KERNEL32_LOOKUP g_dll_search_lookup
#else
#define QV_KERNEL32_LOOKUP GetProcAddress
#endif

namespace {
template <typename Fn>
Fn Kernel32Function(HMODULE kernel, const char* name) {
  return kernel == nullptr ? nullptr
                           : reinterpret_cast<Fn>(reinterpret_cast<void*>(QV_KERNEL32_LOOKUP(kernel, name)));
}
}  // namespace

void HardenDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  // The program runs elevated from a downloads folder, where anyone can drop a
  // DLL beside it. An empty SetDllDirectoryA takes the current directory out of
  // the search for what is loaded by name; the program's own folder stays first.
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
  // Here (2000, XP, Vista, 7 without the loader update) a DLL loaded by name
  // that is neither loaded yet nor a KnownDLL is looked for in this program's
  // folder first. A module already loaded is found by its name without any
  // search, so what this program and the shell load by name later is loaded now
  // from the system folder. Names that a system lacks simply fail to load.
  static const char* const preload[] = {
      // user32 and the theme engine, for the window and its boxes: visual
      // styles, accessibility, the desktop compositor (Vista and 7).
      "uxtheme.dll", "oleacc.dll", "dwmapi.dll",
      // The shell: profile folders, file versions, the property system (Vista
      // and 7), compatibility data, also when starting the driver setup programs.
      "userenv.dll", "profapi.dll", "version.dll", "propsys.dll", "apphelp.dll",
      // The shell saving a shortcut: the link's volume and network data
      // (linkinfo.dll, which asks mpr.dll about network drives).
      "linkinfo.dll", "mpr.dll",
      // ole32, on the first creation of a COM object (the shell link, the
      // desktop's shell windows): the COM+ catalog, a KnownDLL only from 7 on.
      "clbcatq.dll",
      // advapi32's helpers (random numbers, security descriptors); the device
      // service; the folder fallback that other DLLs also load by name.
      "cryptbase.dll", "ntmarta.dll", "setupapi.dll", "shfolder.dll"};
  // Wide: the ANSI form of a system folder named outside the code page would
  // be a look-alike, another folder.
  wchar_t path[MAX_PATH + 32];
  for (const char* name : preload) {
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    wchar_t wide_name[32];
    if (n == 0 || n >= MAX_PATH || !MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, 32) ||
        !AppendPathPart(path, MAX_PATH + 32, wide_name))
      return;
    // The altered search path looks for the DLL's own imports beside it, in
    // the system folder, instead of in this program's folder.
    LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}
