// The installer's one window and its command protocol (window/commands.h).
#pragma once
#include <windows.h>
#include "startup/context.h"
#include "window/commands.h"

HWND CreateMainWindow(HINSTANCE instance, WNDPROC procedure, const char* menu_name, const char* title);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
