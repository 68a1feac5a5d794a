// How the window closes itself. Apart from main_window.cpp so that the window
// test harness can stand in for it and log each close.
#include "window/main_window.h"

BOOL PostDestroy() { return PostMessageA(g_context.main_window, WM_DESTROY, 0, 0); }
