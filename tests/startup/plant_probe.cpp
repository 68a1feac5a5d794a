// Loads each DLL named on its command line by name, after (or, with
// --unhardened, without) the start-up hardening, and prints where each came
// from; then SHFOLDER.DLL from the system folder. --old-loader hides
// SetDefaultDllDirectories from the hardening, as the systems before the
// loader update lack it.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "startup/environment_hooks.h"
#include "startup/startup.h"

// Prints where the module came from and what its SHGetFolderPathA answers:
// a planted one answers "C:\planted".
static void Report(const char* how, HMODULE module) {
  char path[MAX_PATH] = "(not loaded)";
  char answer[MAX_PATH] = "(none)";
  if (module != nullptr) {
    GetModuleFileNameA(module, path, MAX_PATH);
    auto get_folder = reinterpret_cast<decltype(&::SHGetFolderPathA)>(
        reinterpret_cast<void*>(GetProcAddress(module, "SHGetFolderPathA")));
    if (get_folder != nullptr) get_folder(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, answer);
  }
  printf("%s: %s answers %s\n", how, path, answer);
}

static FARPROC WINAPI WithoutDefaultDllDirectories(HMODULE module, LPCSTR name) {
  return strcmp(name, "SetDefaultDllDirectories") == 0 ? nullptr : GetProcAddress(module, name);
}

int main(int argc, char** argv) {
  // plant_probe --unhardened|--hardened|--old-loader DLL...
  if (argc < 2) return 2;
  if (strcmp(argv[1], "--old-loader") == 0) g_dll_search_lookup = WithoutDefaultDllDirectories;
  if (strcmp(argv[1], "--unhardened") != 0) HardenDllSearch();
  for (int i = 2; i < argc; ++i) {
    char how[MAX_PATH];
    snprintf(how, sizeof how, "%s by name", argv[i]);
    Report(how, LoadLibraryA(argv[i]));
  }
  Report("from the system folder", LoadSystemLibrary("SHFOLDER.DLL"));
  return 0;
}
