// Start-up: the entry, the single-instance mutex, closing product windows.
#pragma once
#include <windows.h>
#include "startup/context.h"

extern const char SETUP_MUTEX_NAME[];
extern const char WINDOW_TITLE_FORMAT[];
extern const char SETUP_VERSION[];

int SetupMain(HINSTANCE instance, const char* args);
int InitContext(SetupContext* context, HINSTANCE instance);
// Posts WM_DESTROY to every top-level window whose title begins with prefix
// (letter case counts) and whose process runs one of the product's programs:
// a package entry ending in ".exe", by its file name. Null programs: none.
BOOL CloseWindowsByTitle(const char* prefix, const PackageDirectory* programs);
// Restricts the DLL search to the system folder before any library is loaded by name.
void HardenDllSearch();
