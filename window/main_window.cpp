#include "window/main_window.h"

#include <cstring>

#include "procedures/install.h"
#include "procedures/uninstall.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "system/files.h"
#include "system/run_log.h"
#include "system/text.h"
#include "system/wait.h"
#include "window/autorun_choice.h"
#include "window/launch_target.h"
#include "window/layout.h"
#include "window/paint.h"
#include "window/session_end.h"

const char MAIN_WINDOW_CLASS[] = "HCQuorvane0Installer0MainWindow0";

namespace {

const char STARTUP_ERROR_CAPTION[] = "Startup Error";
const char DONE_TEXT[] =
    "Installation Complete and Successful !\n\nYOU MUST REBOOT your system to finalize installation";
const char DONE_CAPTION[] = "REBOOT YOUR SYSTEM";
const char LAUNCH_FAILED_TEXT[] = "Failed to launch Procedure...";
const char LAUNCH_FAILED_CAPTION[] = "Quorvane Installation Error";
const wchar_t INSTALLING_REASON[] = L"Quorvane is being installed";
const wchar_t REMOVING_REASON[] = L"Quorvane is being removed";

// NONCLIENTMETRICSA in its Vista form, ending with iPaddedBorderWidth, which
// the Windows 2000 declarations we build against leave out. Where a system
// before Vista refuses this size, the fallback below takes over.
struct NonClientMetricsVista {
  UINT cbSize;
  int iBorderWidth, iScrollWidth, iScrollHeight, iCaptionWidth, iCaptionHeight;
  LOGFONTA lfCaptionFont;
  int iSmCaptionWidth, iSmCaptionHeight;
  LOGFONTA lfSmCaptionFont;
  int iMenuWidth, iMenuHeight;
  LOGFONTA lfMenuFont, lfStatusFont, lfMessageFont;
  int iPaddedBorderWidth;
};
static_assert(sizeof(NonClientMetricsVista) == 344, "NONCLIENTMETRICSA must include iPaddedBorderWidth");
constexpr int METRIC_CXPADDEDBORDER = 92;  // SM_CXPADDEDBORDER, Vista and later; 0 before

HFONT MakeArial(LONG height, LONG weight) {
  LOGFONTA font;
  memset(&font, 0, sizeof font);
  font.lfHeight = height;
  font.lfWeight = weight;
  CopyText(font.lfFaceName, sizeof font.lfFaceName, "Arial");
  return CreateFontIndirectA(&font);
}

void DeleteIfSet(HGDIOBJ* object) {
  if (*object) DeleteObject(*object);
  *object = nullptr;
}

// Where the window's one action stands. The order of the outcome, its box and
// the end of the window is settled here rather than by the order in which
// posted messages happen to arrive: a quit request or a WM_DESTROY handled
// while a box is up would take the box down before anyone could read it.
enum class Phase {
  kIdle,     // nothing started yet
  kRunning,  // an action runs (its own boxes included)
  kShowing,  // the box of its outcome is up
  kClosing,  // interactive: our own WM_CLOSE / WM_DESTROY are on their way
  kDone,     // automatic: quit is posted with the action's result
};
struct ActionState {
  Phase phase;
  int32_t result;  // of an automatic run, once kDone
  // The removal and the automatic install hold the window thread: what their
  // boxes' modal loops hand us meanwhile never comes from the action itself.
  bool on_window_thread;
  // Anyone can post ID_AUTORUN to a top-level window: only the one run that
  // the command line asked for is made.
  bool autorun_taken;
};
ActionState g_action = {Phase::kIdle, 0, false, false};

void OnCreate(SetupContext* context, HWND window) {
  context->main_window = window;
  InitWindowResources(context);
  RunLogLine("%s (generation %d), WOW64 %d; product found %d", OsLabel(context->os_generation),
             context->os_generation, context->is_wow64, context->product_installed);
  int border = 0;
  int caption = 0;
  GetFrameMetrics(&border, &caption);
  if (!SilentFlag) {
    int32_t width = 0;
    int32_t height = 0;
    ComputeFrameSize(context->bitmap_width, context->bitmap_height, border, caption, &width, &height);
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_SHOWWINDOW);
    // The metrics need not match the frame actually drawn (theme, padding):
    // correct by what the client area came out as, so the band is never cut.
    RECT client;
    if (GetClientRect(window, &client)) {
      int32_t dx = context->bitmap_width - client.right;
      int32_t dy = context->bitmap_height + BAND_HEIGHT - client.bottom;
      if (dx != 0 || dy != 0) {
        SetWindowPos(window, nullptr, 0, 0, width + dx, height + dy, SWP_NOMOVE | SWP_NOZORDER);
      }
    }
    context->blink_timer = SetTimer(window, TIMER_BLINK, BLINK_PERIOD_MS, nullptr);
  }
  if (InstallFlag == 1 || UninstallFlag == 1) {
    PostMessageA(window, WM_COMMAND, ID_AUTORUN, AUTORUN_PARAM);
  }
  SetFocus(window);
}

void OnDestroy(SetupContext* context, HWND window) {
  if (context->blink_timer) KillTimer(window, context->blink_timer);
  context->blink_timer = 0;
  FreeWindowResources(context);
  // A late WM_DESTROY must not turn an automatic run's result into 0.
  PostQuitMessage(g_action.phase == Phase::kDone ? g_action.result : 0);
}

// An action runs, or its outcome is up. An install started from the button
// counts only while its worker is busy: one that ended without a word leaves
// the window usable again.
bool ActionUnderway(const SetupContext* context) {
  if (g_action.phase == Phase::kShowing || WorkerBusy(context)) return true;
  return g_action.phase == Phase::kRunning && g_action.on_window_thread;
}

// The button, Enter and ID_AUTORUN: one action at a time, and none once the
// window is on its way out.
bool MayStartAction(const SetupContext* context) {
  return (g_action.phase == Phase::kIdle || g_action.phase == Phase::kRunning) && !ActionUnderway(context);
}

// WM_CLOSE and WM_DESTROY.
bool MayEndWindow(const SetupContext* context) {
  return g_action.phase == Phase::kClosing || g_action.phase == Phase::kDone || !ActionUnderway(context);
}

void BeginAction(bool on_window_thread) {
  g_action.phase = Phase::kRunning;
  g_action.on_window_thread = on_window_thread;
}

// The machine is being changed: the install's worker is busy, or a removal or
// an automatic install holds this thread (the removal lets the session go on
// its own once its last change is made, before its closing box).
bool ChangeRuns(const SetupContext* context) {
  return WorkerBusy(context) || (g_action.phase == Phase::kRunning && g_action.on_window_thread);
}

// A worker that ended without a word leaves its hold behind.
void SettleSessionEnd(const SetupContext* context) {
  if (SessionEndHeld() && !ChangeRuns(context)) ReleaseSessionEnd();
}

void ShowOutcome(SetupContext* context, LPARAM status) {
  g_action.phase = Phase::kShowing;
  if (status == STATUS_FAILED) {
    MessageBoxA(context->main_window, context->error_text, context->error_caption,
                MB_SYSTEMMODAL | MB_ICONERROR);
  } else {
    OpenLaunchTarget(context, DONE_TARGET, DONE_TARGET_COUNT);
    MessageBoxA(context->main_window, DONE_TEXT, DONE_CAPTION, MB_SYSTEMMODAL | MB_ICONWARNING);
  }
}

bool IsOutcome(LPARAM status) { return status == STATUS_FAILED || status == STATUS_DONE; }

// The outcome of an install started from the button: only the worker's own
// post counts, and only while that install runs.
void OnStatus(SetupContext* context, LPARAM status) {
  if (SilentFlag || !IsOutcome(status)) return;
  if (g_action.phase != Phase::kRunning || g_action.on_window_thread) return;
  if (!TakePostedOutcome(static_cast<int32_t>(status))) return;
  // The worker's changes are made: a logoff now cuts nothing short.
  ReleaseSessionEnd();
  ShowOutcome(context, status);
  // The worker posts before it lets go of COM; a WM_CLOSE now would be dropped
  // as long as it is busy, leaving a window with a dead button. Still counted
  // as showing, so nothing starts or ends the window meanwhile.
  if (context->worker_thread) {
    WaitAnsweringSentMessages(context->worker_thread, INFINITE);
    CloseHandle(context->worker_thread);
    context->worker_thread = nullptr;
  }
  g_action.phase = Phase::kClosing;
  PostDestroy();
}

// An action that ran on this thread has posted its outcome, if any, while the
// thread could not handle it: take it now, so that its box comes before the
// window ends. What else the queue holds meanwhile is refused when it comes.
LPARAM TakeActionOutcome() {
  if (TakePostedOutcome(STATUS_FAILED)) return STATUS_FAILED;
  if (TakePostedOutcome(STATUS_DONE)) return STATUS_DONE;
  return 0;
}

// After a removal or an automatic run: the outcome's box (never when silent),
// answered before the window ends; an automatic run then ends with the
// action's result, as it does when silent.
void EndWindowThreadAction(SetupContext* context, int32_t result, bool automatic) {
  ReleaseSessionEnd();
  if (!SilentFlag) {
    LPARAM outcome = TakeActionOutcome();
    if (outcome) ShowOutcome(context, outcome);
  }
  if (automatic) {
    g_action.phase = Phase::kDone;
    g_action.result = result;
    FreeWindowResources(context);
    PostQuitMessage(result);
  } else {
    g_action.phase = Phase::kClosing;
    PostDestroy();
  }
}

// The product's presence chooses, as for the button ("-i" with the product
// present removes it), but for the two states that the device alone misreads
// (see ChooseAutorunAction).
void OnAutorun(SetupContext* context) {
  if ((InstallFlag != 1 && UninstallFlag != 1) || g_action.autorun_taken) return;  // stray
  if (!MayStartAction(context)) return;
  g_action.autorun_taken = true;
  BeginAction(true);
  int32_t result = 0;
  const int32_t installed = context->product_installed;
  const int32_t entry =
      AutorunNeedsUninstallEntry(installed, InstallFlag, UninstallFlag) ? UninstallEntryPresent() : 0;
  const AutorunAction action = ChooseAutorunAction(installed, entry, InstallFlag, UninstallFlag);
  RunLogLine("automatic run: %s", action == AUTORUN_REMOVE ? "remove" : action == AUTORUN_INSTALL ? "install" : "none");
  if (action == AUTORUN_REMOVE) {
    HoldSessionEnd(context->main_window, REMOVING_REASON);
    result = UninstallProcedure(context);
  } else if (action == AUTORUN_INSTALL) {
    HoldSessionEnd(context->main_window, INSTALLING_REASON);
    result = StartInstallWorker(context, 1);
  }
  EndWindowThreadAction(context, result, true);
}

void OnLeftButton(SetupContext* context, HWND window, LPARAM lparam) {
  if (!MayStartAction(context)) return;
  int32_t x = static_cast<short>(LOWORD(lparam));
  int32_t y = static_cast<short>(HIWORD(lparam));
  const ButtonRect& r = context->button_rect;
  LayoutBox button = {r.left, r.top, r.right, r.bottom};
  if (InsideStrict(button, x, y)) {
    RunButtonAction(context, window);
  } else if (y < context->bitmap_height) {
    OpenLaunchTarget(context, HEADER_TARGET, HEADER_TARGET_COUNT);
  }
}

void OnBlink(SetupContext* context, HWND window) {
  ++context->blink_count;
  HDC dc = GetDC(window);
  if (!dc) return;
  DrawProgressPanel(context, dc, context->blink_count & 1);
  ReleaseDC(window, dc);
}

void OnEraseBackground(SetupContext* context, HDC dc) {
  if (context->background_bitmap) {
    BlitBitmap(dc, 0, 0, context->background_bitmap);
    return;
  }
  // No artwork: a dark field keeps the white OS label readable.
  RECT area = {0, 0, context->bitmap_width, context->bitmap_height};
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, WNDPROC procedure, const char* menu_name, const char* title) {
  WNDCLASSA window_class;
  memset(&window_class, 0, sizeof window_class);
  window_class.style = CS_VREDRAW | CS_HREDRAW;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(100));
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_INACTIVEBORDER + 1));
  window_class.lpszMenuName = menu_name;
  window_class.lpszClassName = MAIN_WINDOW_CLASS;
  if (!RegisterClassA(&window_class)) {
    RunLogFailure(-2, STARTUP_ERROR_CAPTION, "Failed to register window class...");
    MessageBoxA(nullptr, "Failed to register window class...", STARTUP_ERROR_CAPTION, MB_ICONWARNING);
    return nullptr;
  }
  HWND window = CreateWindowExA(
      0, MAIN_WINDOW_CLASS, title,
      // No maximize box: the window has one size, that of its picture and band.
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
      CW_USEDEFAULT, CW_USEDEFAULT, 900, 300, nullptr, nullptr, instance, nullptr);
  if (!window) {
    RunLogFailure(-2, STARTUP_ERROR_CAPTION, "Failed to create window...");
    MessageBoxA(nullptr, "Failed to create window...", STARTUP_ERROR_CAPTION, MB_ICONWARNING);
    return nullptr;
  }
  if (SilentFlag) {
    ShowWindow(window, SW_HIDE);
  } else {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
  }
  return window;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  SetupContext* context = &g_context;
  switch (message) {
    case WM_CREATE:
      OnCreate(context, window);
      return 0;
    case WM_DESTROY:
      // This program closes its window only by posting WM_DESTROY to itself;
      // one from elsewhere must not end an action or take down its outcome.
      if (MayEndWindow(context)) OnDestroy(context, window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc) PaintWindow(context, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CLOSE:
      // Dropped while an action runs or its outcome is up; never passed on to DefWindowProc.
      if (MayEndWindow(context) && !WorkerBusy(context)) PostDestroy();
      return 0;
    case WM_ERASEBKGND:
      OnEraseBackground(context, reinterpret_cast<HDC>(wparam));
      return 1;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN) {
        if (MayStartAction(context)) RunButtonAction(context, window);
      } else if (wparam == VK_ESCAPE) {
        PostMessageA(window, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == ID_STATUS) {
        OnStatus(context, lparam);
      } else if (LOWORD(wparam) == ID_AUTORUN && lparam == AUTORUN_PARAM) {
        OnAutorun(context);
      }
      return 0;
    case WM_TIMER:
      if (WorkerBusy(context) && wparam == TIMER_BLINK) OnBlink(context, window);
      SettleSessionEnd(context);
      return 0;
    case WM_QUERYENDSESSION:
      // Sent while a driver's setup runs too: the waits answer sent messages.
      SettleSessionEnd(context);
      if (SessionEndHeld()) return FALSE;
      return DefWindowProcA(window, message, wparam, lparam);
    case WM_MOUSEMOVE:
      if (static_cast<short>(HIWORD(lparam)) < context->bitmap_height) SetCursor(context->hand_cursor);
      return 0;
    case WM_LBUTTONDOWN:
      OnLeftButton(context, window, lparam);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

void InitWindowResources(SetupContext* context) {
  context->text_font = MakeArial(16, 800);
  context->caption_font = MakeArial(40, 400);
  context->label_font = MakeArial(28, 400);
  context->background_bitmap = LoadBitmapA(context->instance, MAKEINTRESOURCEA(101));
  BITMAP info;
  if (context->background_bitmap && GetObjectA(context->background_bitmap, sizeof info, &info)) {
    context->bitmap_width = info.bmWidth;
    context->bitmap_height = info.bmHeight;
  } else {
    // The layout and the window size derive from the bitmap: keep them sane.
    context->bitmap_width = FALLBACK_BITMAP_WIDTH;
    context->bitmap_height = FALLBACK_BITMAP_HEIGHT;
  }
  context->hand_cursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
  context->os_generation = ClassifyOs();
  context->product_installed = 0;
  HANDLE probe = ProbeProductDevice(PRODUCT_DEVICE_INTERFACE_GUID);
  if (probe) {
    CloseHandleIfSet(probe);
    context->product_installed = 1;
  }
}

void FreeWindowResources(SetupContext* context) {
  DeleteIfSet(reinterpret_cast<HGDIOBJ*>(&context->background_bitmap));
  DeleteIfSet(reinterpret_cast<HGDIOBJ*>(&context->text_font));
  DeleteIfSet(reinterpret_cast<HGDIOBJ*>(&context->caption_font));
  DeleteIfSet(reinterpret_cast<HGDIOBJ*>(&context->label_font));
}

void GetFrameMetrics(int* border, int* caption) {
  NonClientMetricsVista metrics;
  memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    *border = metrics.iBorderWidth + metrics.iPaddedBorderWidth;
    *caption = metrics.iCaptionHeight;
  } else {
    *border = GetSystemMetrics(METRIC_CXPADDEDBORDER) + GetSystemMetrics(SM_CXDLGFRAME);
    *caption = GetSystemMetrics(SM_CYCAPTION);
  }
}

void RunButtonAction(SetupContext* context, HWND window) {
  HDC dc = GetDC(window);
  if (dc) {
    DrawActionButton(context, dc, 1);
    ReleaseDC(window, dc);
  }
  // The pressed look must be on screen before a removal holds this thread.
  // GdiFlush hands GDI's batch over; Wine copies a window's drawing to the
  // screen only when its thread looks at the queue, which GetQueueStatus does
  // without taking or dispatching a message.
  GdiFlush();
  GetQueueStatus(QS_ALLINPUT);
  Sleep(200);
  if (context->product_installed == 0) {
    BeginAction(false);
    HoldSessionEnd(window, INSTALLING_REASON);
    if (StartInstallWorker(context, 0) == 0) return;  // the worker reports through ID_STATUS
    ReleaseSessionEnd();
    g_action.phase = Phase::kShowing;
    RunLogFailure(-1, LAUNCH_FAILED_CAPTION, LAUNCH_FAILED_TEXT);
    MessageBoxA(window, LAUNCH_FAILED_TEXT, LAUNCH_FAILED_CAPTION, MB_SYSTEMMODAL | MB_ICONERROR);
    g_action.phase = Phase::kClosing;
    PostDestroy();
    return;
  }
  BeginAction(true);
  HoldSessionEnd(window, REMOVING_REASON);
  EndWindowThreadAction(context, UninstallProcedure(context), false);
}
