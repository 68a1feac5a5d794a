// The installer's one window and its command protocol (window/commands.h).
#pragma once
#include <windows.h>
#include "startup/context.h"
#include "window/commands.h"

constexpr UINT_PTR TIMER_BLINK = 12347;
constexpr UINT BLINK_PERIOD_MS = 500;
extern const char MAIN_WINDOW_CLASS[];  // "HCQuorvane0Installer0MainWindow0"

HWND CreateMainWindow(HINSTANCE instance, WNDPROC procedure, const char* menu_name, const char* title);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void InitWindowResources(SetupContext* context);
// Deletes the bitmap and fonts and nulls their handles: a second call does nothing.
void FreeWindowResources(SetupContext* context);
void GetFrameMetrics(int* border, int* caption);
void RunButtonAction(SetupContext* context, HWND window);
// Posts WM_DESTROY to g_context.main_window: the program's only way to close it.
BOOL PostDestroy();

// Descrambles the stored target into a 512-byte working buffer, opens it with
// the shell (owner main_window; elevated, through the desktop's shell as the
// user, or not at all), and wipes the buffer. Counts over 512 open nothing.
// The shell is called on a thread of its own, with its own copy of the target;
// the caller waits for it LAUNCH_OPEN_WAIT_MS at most, answering sent messages.
void OpenLaunchTarget(SetupContext* context, const unsigned char* stored, uint32_t count);
// The same with the caller's 512-byte working buffer, wiped before returning.
void OpenLaunchTargetWith(SetupContext* context, const unsigned char* stored, uint32_t count,
                          unsigned char* buffer);
