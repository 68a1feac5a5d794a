// Loads SHFOLDER.DLL the ways the setup program could, after (or, with
// --unhardened, without) the start-up hardening, and prints where each came from.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "startup/environment_hooks.h"
#include "startup/startup.h"

// Prints where the module came from and what its SHGetFolderPathA answers:
// the planted one answers "C:\planted".
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

int main(int argc, char** argv) {
  bool harden = !(argc > 1 && strcmp(argv[1], "--unhardened") == 0);
  if (harden) HardenDllSearch();
  Report("by name", LoadLibraryA("SHFOLDER.DLL"));
  Report("from the system folder", LoadSystemLibrary("SHFOLDER.DLL"));
  return 0;
}
