#include "system/wait.h"

DWORD WaitAnsweringSentMessages(HANDLE handle, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  DWORD left = timeout_ms;
  for (;;) {
    // Looking at the queue delivers every message sent to this thread; with
    // PM_NOREMOVE nothing posted is taken or dispatched. Done before the first
    // wait too, for what was sent before it began.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) return woke;
    if (timeout_ms == INFINITE) continue;
    // Unsigned: right across the tick count's wrap after 49.7 days.
    DWORD spent = GetTickCount() - start;
    if (spent >= timeout_ms) return WaitForSingleObject(handle, 0);
    left = timeout_ms - spent;
  }
}
