// Seams for the environment probes: tests replace how libraries are loaded and
// how the version and the Windows folder are read, to reach every fallback.
#pragma once
#include <windows.h>

#include <cstdint>

struct EnvironmentHooks {
  HMODULE (*load_library)(const char* name);  // name is "SHELL32.DLL" or "SHFOLDER.DLL"
  UINT (*get_windows_directory)(wchar_t* buffer, UINT size);
};

// null (the default) means the real system.
extern const EnvironmentHooks* g_environment_hooks;

// ClassifyOs with the version query of a test.
int32_t ClassifyOsWith(BOOL(WINAPI* get_version)(OSVERSIONINFOA*));
// Lets a test run the once-per-process resolution again.
void ForgetSpecialFoldersForTest();
// Loads a system DLL from the system folder only, whatever the search order.
HMODULE LoadSystemLibrary(const char* name);

#ifdef QV_DLL_SEARCH_HOOK
// How HardenDllSearch looks up kernel32's functions; only in a build of it
// with this define (the planting test's probe, never the setup program), so
// that a test can hide what the systems before the loader update lack.
extern decltype(&::GetProcAddress) g_dll_search_lookup;
#endif
