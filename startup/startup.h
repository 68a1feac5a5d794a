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
// Restricts the DLL search to the system folder before any library is loaded by name.
void HardenDllSearch();
