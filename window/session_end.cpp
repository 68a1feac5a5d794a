#include "window/session_end.h"

namespace {

// Vista and later; Windows 2000 and XP know only the refusal itself.
typedef BOOL(WINAPI* ShutdownBlockReasonCreateFn)(HWND window, LPCWSTR reason);
typedef BOOL(WINAPI* ShutdownBlockReasonDestroyFn)(HWND window);

HWND g_held_by;  // the window whose reason stands; window thread only

FARPROC User32Function(const char* name) {
  // Already loaded, as the window's own DLL: looked up, never searched for.
  HMODULE user32 = GetModuleHandleA("user32.dll");
  return user32 ? GetProcAddress(user32, name) : nullptr;
}

}  // namespace

void HoldSessionEnd(HWND window, const wchar_t* reason) {
  ReleaseSessionEnd();
  g_held_by = window;
  auto create = reinterpret_cast<ShutdownBlockReasonCreateFn>(
      reinterpret_cast<void*>(User32Function("ShutdownBlockReasonCreate")));
  // Without it the refusal still holds the session; Windows only cannot say why.
  if (create) create(window, reason);
}

void ReleaseSessionEnd() {
  if (!g_held_by) return;
  auto destroy = reinterpret_cast<ShutdownBlockReasonDestroyFn>(
      reinterpret_cast<void*>(User32Function("ShutdownBlockReasonDestroy")));
  if (destroy) destroy(g_held_by);
  g_held_by = nullptr;
}

int SessionEndHeld() { return g_held_by != nullptr; }
