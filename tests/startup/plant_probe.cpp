// Loads SHFOLDER.DLL the ways the setup program could, after (or, with
// --unhardened, without) the start-up hardening, and prints where each came from.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "startup/environment_hooks.h"
#include "startup/startup.h"

static void Report(const char* how, HMODULE module) {
  char path[MAX_PATH] = "(not loaded)";
  if (module != nullptr) GetModuleFileNameA(module, path, MAX_PATH);
  printf("%s: %s\n", how, path);
}

int main(int argc, char** argv) {
  bool harden = !(argc > 1 && strcmp(argv[1], "--unhardened") == 0);
  if (harden) HardenDllSearch();
  Report("by name", LoadLibraryA("SHFOLDER.DLL"));
  Report("from the system folder", LoadSystemLibrary("SHFOLDER.DLL"));
  return 0;
}
