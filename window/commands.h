// The command protocol between the procedures and the main window: WM_COMMAND
// posted to the window, identifier in LOWORD(wParam), lParam compared whole.
#pragma once
#include <cstdint>

#include <windows.h>

constexpr int ID_STATUS = 180;
constexpr int STATUS_FAILED = 127;
constexpr int STATUS_DONE = 128;
constexpr int ID_AUTORUN = 165;
constexpr int AUTORUN_PARAM = 101;

// How a procedure reports its outcome (STATUS_FAILED or STATUS_DONE): recorded,
// then posted as ID_STATUS to the window.
void PostOutcome(HWND window, int32_t status);
// 1 when status is the outcome a procedure posted and the window has not yet
// taken; takes it. A stray ID_STATUS from another program finds nothing here.
int TakePostedOutcome(int32_t status);
