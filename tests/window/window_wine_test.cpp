// The window procedure in process, with the real procedures linked in: the
// parts that pixels cannot show (handles, queued messages, timers).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "startup/cmdline.h"
#include "startup/startup.h"
#include "window/launch_open.h"
#include "window/launch_target.h"
#include "window/main_window.h"

namespace {

bool Queued(UINT message, WPARAM* wparam = nullptr) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, message, message, PM_REMOVE)) return false;
  if (wparam) *wparam = msg.wParam;
  return true;
}

void DrainQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

class SilentWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SilentFlag = 1;
    memset(&g_context, 0, sizeof g_context);
    g_context.instance = GetModuleHandleA(nullptr);
    window_ = CreateMainWindow(g_context.instance, MainWindowProc, nullptr, "window test");
  }
  void SetUp() override {
    ASSERT_NE(window_, nullptr);
    DrainQueue();
  }
  static HWND window_;
};
HWND SilentWindow::window_ = nullptr;

TEST_F(SilentWindow, CreationRanWithoutTimerOrResizing) {
  EXPECT_EQ(g_context.main_window, window_);
  EXPECT_FALSE(IsWindowVisible(window_));
  RECT rect;
  GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.right - rect.left, 900);
  EXPECT_EQ(rect.bottom - rect.top, 300);
  // One size only: a maximized window would leave all but the picture unpainted.
  LONG_PTR style = GetWindowLongPtrA(window_, GWL_STYLE);
  EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_SYSMENU | WS_THICKFRAME), WS_MINIMIZEBOX | WS_SYSMENU);
  EXPECT_EQ(g_context.blink_timer, 0u);
  // This test program carries no bitmap: the fallback size keeps the layout sane.
  EXPECT_EQ(g_context.background_bitmap, nullptr);
  EXPECT_EQ(g_context.bitmap_width, 900);
  EXPECT_EQ(g_context.bitmap_height, 424);
  EXPECT_NE(g_context.text_font, nullptr);
  EXPECT_NE(g_context.caption_font, nullptr);
  EXPECT_NE(g_context.label_font, nullptr);
  EXPECT_NE(g_context.hand_cursor, nullptr);
  EXPECT_EQ(g_context.product_installed, 0);
  EXPECT_FALSE(Queued(WM_COMMAND)) << "no automatic run without -i or -u";
}

TEST_F(SilentWindow, CommandsOutsideTheProtocolAndSilentStatusDoNothing) {
  for (LPARAM status : {LPARAM(STATUS_FAILED), LPARAM(STATUS_DONE), LPARAM(129)})
    EXPECT_EQ(SendMessageA(window_, WM_COMMAND, ID_STATUS, status), 0);
  SendMessageA(window_, WM_COMMAND, ID_AUTORUN, 100);
  EXPECT_FALSE(Queued(WM_CLOSE));
  EXPECT_FALSE(Queued(WM_QUIT));
  EXPECT_NE(g_context.text_font, nullptr) << "ID_AUTORUN 100 must not free anything";
}

TEST_F(SilentWindow, CloseAutorunAndDestroyAreDroppedWhileBusyAndCloseDestroysWhenIdle) {
  InterlockedExchange(&g_context.worker_busy, 1);
  EXPECT_EQ(SendMessageA(window_, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(Queued(WM_DESTROY));
  EXPECT_TRUE(IsWindow(window_));
  // A second or stray automatic run, and a WM_DESTROY from elsewhere, would end
  // the process in the middle of the install, switches or not.
  UninstallFlag = 1;
  SendMessageA(window_, WM_COMMAND, ID_AUTORUN, AUTORUN_PARAM);
  UninstallFlag = 0;
  SendMessageA(window_, WM_DESTROY, 0, 0);
  EXPECT_FALSE(Queued(WM_QUIT));
  EXPECT_NE(g_context.text_font, nullptr);
  InterlockedExchange(&g_context.worker_busy, 0);
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(Queued(WM_DESTROY));
}

// Runs last in this suite: it frees the resources.
TEST_F(SilentWindow, ZAutorunFreesOnceAndQuitsWithTheResult) {
  // "-u" with the product absent: nothing runs, the result is 0.
  UninstallFlag = 1;
  SendMessageA(window_, WM_COMMAND, ID_AUTORUN, AUTORUN_PARAM);
  UninstallFlag = 0;
  WPARAM code = 1;
  EXPECT_TRUE(Queued(WM_QUIT, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(g_context.text_font, nullptr);
  EXPECT_EQ(g_context.caption_font, nullptr);
  EXPECT_EQ(g_context.label_font, nullptr);
  // The WM_DESTROY that may follow frees nothing twice and kills no timer.
  SendMessageA(window_, WM_DESTROY, 0, 0);
  EXPECT_TRUE(Queued(WM_QUIT, &code));
  EXPECT_EQ(code, 0u);
  FreeWindowResources(&g_context);
  EXPECT_EQ(g_context.background_bitmap, nullptr);
}

TEST(WindowResources, FreeTwiceIsHarmless) {
  SetupContext context;
  memset(&context, 0, sizeof context);
  context.instance = GetModuleHandleA(nullptr);
  InitWindowResources(&context);
  ASSERT_NE(context.caption_font, nullptr);
  HFONT font = context.caption_font;
  FreeWindowResources(&context);
  EXPECT_EQ(context.caption_font, nullptr);
  EXPECT_EQ(GetObjectType(font), 0u) << "the font was deleted";
  FreeWindowResources(&context);
  EXPECT_EQ(context.text_font, nullptr);
}

TEST(WindowResources, FrameMetricsArePlausible) {
  int border = -1, caption = -1;
  GetFrameMetrics(&border, &caption);
  EXPECT_GE(border, 0);
  EXPECT_LT(border, 50);
  EXPECT_GT(caption, 0);
  EXPECT_LT(caption, 100);
}

TEST(LaunchTargetOpen, TooLongOpensNothingAndTheBufferIsWipedAfterOpening) {
  SetupContext context;
  memset(&context, 0, sizeof context);
  unsigned char buffer[LAUNCH_TARGET_MAX];
  memset(buffer, 0xAA, sizeof buffer);
  unsigned char stored[LAUNCH_TARGET_MAX + 1] = {};
  OpenLaunchTargetWith(&context, stored, LAUNCH_TARGET_MAX + 1, buffer);
  for (unsigned char c : buffer) ASSERT_EQ(c, 0xAA) << "a count over 512 is not even copied";

  // A target that cannot be opened: the shell fails, the plain text must still go.
  char plain[] = "C:\\no such folder\\qv-launch-target.none";
  unsigned char scrambled[sizeof plain];
  memcpy(scrambled, plain, sizeof plain);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, scrambled, sizeof plain);
  OpenLaunchTargetWith(&context, scrambled, sizeof plain, buffer);
  for (unsigned char c : buffer) ASSERT_EQ(c, 0);
}

// Which way an address goes, told by stand-ins for the token and the two shells.
struct OpenedBy {
  int elevated;
  int desktop_accepts;
  std::string desktop;
  std::string here;
};
OpenedBy g_opened;
const LaunchOpenHooks kStandIns = {
    [] { return g_opened.elevated; },
    [](const char* address) {
      g_opened.desktop += address;
      return g_opened.desktop_accepts;
    },
    [](HWND, const char* address) { g_opened.here += address; },
};

TEST(LaunchTargetOpen, AnElevatedProgramOpensOnlyThroughTheDesktopShell) {
  char plain[] = "https://halcyra.example/qv";
  unsigned char scrambled[sizeof plain];
  memcpy(scrambled, plain, sizeof plain);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, scrambled, sizeof plain);
  SetupContext context;
  memset(&context, 0, sizeof context);
  unsigned char buffer[LAUNCH_TARGET_MAX];
  const struct {
    int elevated, desktop_accepts;
    const char *desktop, *here;
  } cases[] = {
      {1, 1, plain, ""},
      {1, 0, plain, ""},  // the desktop's shell failed: no browser as the administrator
      {0, 0, "", plain},  // no UAC: the program's own ShellExecute
  };
  g_launch_open_hooks = &kStandIns;
  for (const auto& c : cases) {
    g_opened = {c.elevated, c.desktop_accepts, "", ""};
    OpenLaunchTargetWith(&context, scrambled, sizeof plain, buffer);
    EXPECT_EQ(g_opened.desktop, c.desktop) << c.elevated << c.desktop_accepts;
    EXPECT_EQ(g_opened.here, c.here) << c.elevated << c.desktop_accepts;
  }
  g_launch_open_hooks = nullptr;
}

}  // namespace
