// The command protocol between the procedures and the main window: WM_COMMAND
// posted to the window, identifier in LOWORD(wParam), lParam compared whole.
#pragma once

constexpr int ID_STATUS = 180;
constexpr int STATUS_FAILED = 127;
constexpr int STATUS_DONE = 128;
constexpr int ID_AUTORUN = 165;
constexpr int AUTORUN_PARAM = 101;
