// Start-up: the entry, the single-instance mutex, closing product windows.
#pragma once
#include <windows.h>
#include "startup/context.h"

extern const char SETUP_MUTEX_NAME[];
extern const char WINDOW_TITLE_FORMAT[];
extern const char SETUP_VERSION[];

int SetupMain(HINSTANCE instance, const char* args);
int InitContext(SetupContext* context, HINSTANCE instance);
// Opens the setup program's own file (its wide path) for the process's life and
// fills setup_file, setup_path and setup_name. 1 when the file is held.
int HoldSetupFile(SetupContext* context, const wchar_t* path);
BOOL CloseWindowsByTitle(const char* prefix);
// Restricts the DLL search to the system folder before any library is loaded by name.
void HardenDllSearch();
