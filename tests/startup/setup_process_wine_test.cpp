// The setup program as a process: the single-instance mutex, closing running
// product windows at start, and the exit code of a normal close.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

const char kClass[] = "HCQuorvane0Installer0MainWindow0";

std::string SetupExe() {
  const char* exe = getenv("QV_SETUP_EXE");
  return exe != nullptr ? exe : "";
}

struct Child {
  PROCESS_INFORMATION pi{};
  bool Start(const std::string& args, const std::string& program = SetupExe()) {
    std::string line = "\"" + program + "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
  }
  DWORD Wait(DWORD ms) {
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
  ~Child() {
    if (pi.hProcess != nullptr) {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
};

HWND WaitForSetupWindow(DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    HWND w = FindWindowA(kClass, nullptr);
    if (w != nullptr) return w;
    Sleep(50);
  }
  return nullptr;
}

class SetupProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SetupExe().empty()) GTEST_SKIP() << "QV_SETUP_EXE not set";
  }
};

TEST_F(SetupProcess, ASecondCopyEndsAtOnceWithMinusOne) {
  Child first;
  ASSERT_TRUE(first.Start("-h"));
  HWND window = WaitForSetupWindow(20000);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));  // silent: hidden

  Child second;
  ASSERT_TRUE(second.Start("-i -h"));
  EXPECT_EQ(second.Wait(20000), static_cast<DWORD>(-1));
  EXPECT_EQ(FindWindowA(kClass, nullptr), window);  // no second window came and went

  // Closed from outside, the silent copy ends normally.
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.Wait(20000), 0u);
}

// Product windows that a test owns. The window procedure counts what arrives
// and, as a program with unsaved work may, keeps its window on WM_CLOSE.
LONG g_closed[4];
LONG g_destroyed[4];
const char* const kTitles[4] = {"QuorVane Mixer", "QUORVANE Mixer", "Quorvane.Remote - Quick.Keys v2",
                                "Quorvane.Remote - Quick Keys"};

LRESULT CALLBACK RecordingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_CLOSE) {
    InterlockedIncrement(&g_closed[GetWindowLongPtrA(w, GWLP_USERDATA)]);
    return 0;
  }
  if (m == WM_DESTROY) InterlockedIncrement(&g_destroyed[GetWindowLongPtrA(w, GWLP_USERDATA)]);
  return DefWindowProcA(w, m, wp, lp);
}

DWORD WINAPI ProductWindowsThread(LPVOID ready) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "QvProductStandIn";
  RegisterClassA(&wc);
  for (int i = 0; i < 4; ++i) {
    HWND w = CreateWindowA("QvProductStandIn", kTitles[i], WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
    SetWindowLongPtrA(w, GWLP_USERDATA, i);
  }
  SetEvent(static_cast<HANDLE>(ready));
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

// Only the product's programs' windows are told to go: this test program's
// are left alone, and the test runs again as QuorvaneQuickKeys.exe, a program
// of the product, whose windows are told by their title prefix.
TEST_F(SetupProcess, ProductWindowsAreAskedToGoByTitlePrefix) {
  char own[MAX_PATH], copy[MAX_PATH];
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  lstrcatA(copy + GetTempPathA(MAX_PATH, copy), "QuorvaneQuickKeys.exe");
  const bool product = lstrcmpiA(own, copy) == 0;
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD thread_id;
  HANDLE thread = CreateThread(nullptr, 0, ProductWindowsThread, ready, 0, &thread_id);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);

  Child setup;
  ASSERT_TRUE(setup.Start("-h"));
  HWND window = WaitForSetupWindow(20000);
  ASSERT_NE(window, nullptr);
  Sleep(500);  // the posted messages reach our thread's queue

  // Told, not asked: the product's windows quit on WM_DESTROY, also those that
  // would only hide on WM_CLOSE. Prefixes are compared with case.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g_closed[i], 0) << kTitles[i];
    EXPECT_EQ(g_destroyed[i], product && i % 2 == 0 ? 1 : 0) << kTitles[i];
  }

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.Wait(20000), 0u);
  PostThreadMessageA(thread_id, WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  CloseHandle(ready);
  if (product) return;
  ASSERT_TRUE(CopyFileA(own, copy, FALSE));
  Child again;
  const std::string self = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  ASSERT_TRUE(again.Start("--gtest_filter=SetupProcess." + self, copy));
  EXPECT_EQ(again.Wait(60000), 0u) << "run as " << copy;
}

TEST_F(SetupProcess, TheWindowTitleCarriesTheVersion) {
  Child setup;
  ASSERT_TRUE(setup.Start("-h"));
  HWND window = WaitForSetupWindow(20000);
  ASSERT_NE(window, nullptr);
  char title[128];
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Halcyra Quorvane Installation (Version 2.0.3.4)");
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.Wait(20000), 0u);
}

}  // namespace
