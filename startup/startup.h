// Start-up: the entry, the single-instance mutex, closing product windows.
#pragma once
#include <windows.h>
#include "startup/context.h"

extern const char SETUP_MUTEX_NAME[];
extern const char WINDOW_TITLE_FORMAT[];
extern const char SETUP_VERSION[];

int SetupMain(HINSTANCE instance, const char* args);
int InitContext(SetupContext* context, HINSTANCE instance);
BOOL CloseWindowsByTitle(const char* prefix);
// Posts WM_DESTROY to g_context.main_window: the program's only way to close it.
BOOL PostDestroy();
void CloseHandleIfSet(HANDLE handle);
// Restricts the DLL search to the system folder before any library is loaded by name.
void HardenDllSearch();
