#include "window/commands.h"

#include <windows.h>

namespace {

// The outcome a procedure posted that the window has not shown yet. Anyone
// can post WM_COMMAND to a top-level window; only a post recorded here is ours.
volatile LONG g_posted_outcome = 0;

}  // namespace

void PostOutcome(HWND window, int32_t status) {
  // Recorded before the post: the window may handle it at once.
  InterlockedExchange(&g_posted_outcome, status);
  PostMessageA(window, WM_COMMAND, ID_STATUS, status);
}

int TakePostedOutcome(int32_t status) {
  return InterlockedCompareExchange(&g_posted_outcome, 0, status) == status;
}
