// Waiting on the window's thread (or a thread with COM's window) without
// holding up programs that send it a message.
#pragma once
#include <windows.h>

// Waits until handle is signalled or timeout_ms (INFINITE: no end) has passed.
// A message sent to this thread's windows meanwhile (a child's broadcast, say)
// is answered; posted and input messages stay queued, so no click or command
// reaches a window while it waits. WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitAnsweringSentMessages(HANDLE handle, DWORD timeout_ms);
// Lets ms pass in the same way, with nothing to wait for.
void PauseAnsweringSentMessages(DWORD ms);
