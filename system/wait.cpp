#include "system/wait.h"

namespace {

// count is 0 (a pause) or 1 (*handle).
DWORD WaitOn(DWORD count, HANDLE* handle, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  DWORD left = timeout_ms;
  for (;;) {
    // Looking at the queue delivers every message sent to this thread; with
    // PM_NOREMOVE nothing posted is taken or dispatched. Done before the first
    // wait too, for what was sent before it began.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    DWORD woke = MsgWaitForMultipleObjects(count, handle, FALSE, left, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + count) return woke;
    if (timeout_ms == INFINITE) continue;
    // Unsigned: right across the tick count's wrap after 49.7 days.
    DWORD spent = GetTickCount() - start;
    if (spent >= timeout_ms) return count ? WaitForSingleObject(*handle, 0) : WAIT_TIMEOUT;
    left = timeout_ms - spent;
  }
}

}  // namespace

DWORD WaitAnsweringSentMessages(HANDLE handle, DWORD timeout_ms) { return WaitOn(1, &handle, timeout_ms); }

void PauseAnsweringSentMessages(DWORD ms) { WaitOn(0, nullptr, ms); }
