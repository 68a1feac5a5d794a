// A logoff or shutdown in the middle of a change would leave the drivers half
// installed or half removed, with nothing said: while one runs, the window
// refuses the end of the session, and from Vista on Windows is told why.
#pragma once
#include <windows.h>

// Window thread only: Windows ties the reason to the thread of its window.
// Replaces a reason already held.
void HoldSessionEnd(HWND window, const wchar_t* reason);
// The change is over, or has reached the point where stopping loses nothing.
// Harmless when nothing is held.
void ReleaseSessionEnd();
int SessionEndHeld();
