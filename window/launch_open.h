// How the window hands an address to the shell, and the seam through which a
// test chooses what each step does.
#pragma once
#include <windows.h>

struct LaunchOpenHooks {
  // 1 when the process runs with the full token of an administrator who was
  // asked to elevate (Vista and later, UAC on); 0 without UAC or when unknown.
  int (*process_is_elevated)();
  // Opens address through the desktop's shell, which runs as the signed-in
  // user without elevation. 1 when the shell accepted it.
  int (*open_as_desktop_user)(const char* address);
  void (*open_here)(HWND owner, const char* address);  // ShellExecuteA "open"
};
// null (the default) means the real system. The steps run on a thread of their
// own; the hooks must outlive it.
extern const LaunchOpenHooks* g_launch_open_hooks;

// How long the window waits for an opening before it goes on without it.
constexpr DWORD LAUNCH_OPEN_WAIT_MS = 4000;
