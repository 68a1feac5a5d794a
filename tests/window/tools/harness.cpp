// The real window code with scripted stand-ins for the procedures and the
// environment, so the window can be driven and photographed deterministically.
//
// Environment:
//   QVH_LOG              file that gets one line per event (default C:\qvh.log)
//   QVH_PRODUCT=1        the product's device counts as present
//   QVH_OS=n             OsGeneration to report (default 4)
//   QVH_STEP_MS=n        time per install step (default 400)
//   QVH_INSTALL=done|failed|silent|nothread   how the fake install worker ends
//   QVH_LINGER_MS=n      time the worker still takes after its outcome's post
//   QVH_UNINSTALL=n      result of the fake removal (it shows no box)
//   QVH_UNINSTALL_MS=n   time it takes, answering sent messages as a driver wait does
//   QVH_SHELL_HANG_MS=n  elevated; the desktop's shell records its first address in
//                        C:\urls.txt after n ms, and never answers another
//   QVH_UNINSTALL_ENTRY=1  the Uninstall entry exists (default: as QVH_PRODUCT)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "procedures/install.h"
#include "procedures/uninstall.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "startup/startup.h"
#include "system/wait.h"
#include "window/launch_open.h"
#include "window/main_window.h"

const GUID PRODUCT_DEVICE_INTERFACE_GUID = {0x3F9A2C64, 0x7B18, 0x4E5D, {0xA2, 0xC7, 0x91, 0xD0, 0x5E, 0x3B, 0x6F, 0x48}};

namespace {

CRITICAL_SECTION g_status_lock;

void Log(const char* format, long value) {
  char path[MAX_PATH] = "C:\\qvh.log";
  GetEnvironmentVariableA("QVH_LOG", path, sizeof path);
  FILE* f = fopen(path, "a");
  if (!f) return;
  fprintf(f, format, value);
  fputc('\n', f);
  fclose(f);
}

long EnvNumber(const char* name, long fallback) {
  char text[32];
  DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  if (n == 0 || n >= sizeof text) return fallback;
  return strtol(text, nullptr, 10);
}

int EnvIs(const char* name, const char* value) {
  char text[32];
  DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  return n > 0 && n < sizeof text && strcmp(text, value) == 0;
}

int HungShellOpens(const char* address) {
  static LONG calls;
  Sleep(InterlockedIncrement(&calls) == 1 ? static_cast<DWORD>(EnvNumber("QVH_SHELL_HANG_MS", 0)) : INFINITE);
  if (FILE* f = fopen("C:\\urls.txt", "a")) {
    fprintf(f, "%s\n", address);
    fclose(f);
  }
  return 1;
}
const LaunchOpenHooks HUNG_SHELL = {[] { return 1; }, HungShellOpens, [](HWND, const char*) {}};

}  // namespace

// Start-up.
int32_t SilentFlag;
int32_t InstallFlag;
int32_t UninstallFlag;
SetupContext g_context;

void ParseCommandLine(const char* text) {
  for (const char* p = text ? strchr(text, '-') : nullptr; p && p[1]; p = strchr(p + 2, '-')) {
    if (p[1] == 'h' || p[1] == 'H') SilentFlag = 1;
    if (p[1] == 'u' || p[1] == 'U') UninstallFlag = 1;
    if (p[1] == 'i') InstallFlag = 1;
  }
}

// The environment.
int32_t ClassifyOs() { return static_cast<int32_t>(EnvNumber("QVH_OS", 4)); }
HANDLE ProbeProductDevice(GUID) {
  return EnvNumber("QVH_PRODUCT", 0) == 1 ? CreateEventA(nullptr, FALSE, FALSE, nullptr) : nullptr;
}
void CloseHandleIfSet(HANDLE handle) {
  if (handle) CloseHandle(handle);
}
BOOL PostDestroy() {
  Log("destroy", 0);
  return PostMessageA(g_context.main_window, WM_DESTROY, 0, 0);
}

// The procedures.
void SetStatusText(SetupContext* context, const char* text) {
  EnterCriticalSection(&g_status_lock);
  lstrcpynA(context->status_text, text, sizeof context->status_text);
  LeaveCriticalSection(&g_status_lock);
}
void CopyStatusText(SetupContext* context, char* out, size_t out_size) {
  EnterCriticalSection(&g_status_lock);
  lstrcpynA(out, context->status_text, static_cast<int>(out_size));
  LeaveCriticalSection(&g_status_lock);
}
int32_t WorkerBusy(const SetupContext* context) {
  return InterlockedCompareExchange(const_cast<volatile LONG*>(&context->worker_busy), 0, 0);
}

int32_t InstallProcedure(SetupContext* context) {
  static const char* const steps[] = {"Extract Package", "Copy Files", "Install Audio Driver",
                                      "Install Aux Audio Driver", "Finalize Installation",
                                      "Installation Completed"};
  DWORD step_ms = static_cast<DWORD>(EnvNumber("QVH_STEP_MS", 400));
  for (const char* step : steps) {
    SetStatusText(context, step);
    Sleep(step_ms);
  }
  if (EnvIs("QVH_INSTALL", "failed")) {
    lstrcpyA(context->error_caption, "Quorvane Installation Error");
    lstrcpyA(context->error_text, "Harness: scripted failure");
    PostOutcome(context->main_window, STATUS_FAILED);
    return -10;
  }
  if (EnvIs("QVH_INSTALL", "silent")) return -21;
  PostOutcome(context->main_window, STATUS_DONE);
  return 0;
}

DWORD WINAPI InstallWorkerThread(LPVOID parameter) {
  SetupContext* context = static_cast<SetupContext*>(parameter);
  int32_t result = InstallProcedure(context);
  Sleep(static_cast<DWORD>(EnvNumber("QVH_LINGER_MS", 0)));  // as the real worker lets go of COM
  InterlockedExchange(&context->worker_result, result);
  InterlockedExchange(&context->worker_busy, 0);
  Log("worker-end %ld", result);
  return 0;
}

int32_t StartInstallWorker(SetupContext* context, int32_t wait) {
  Log("install wait=%ld", wait);
  if (EnvIs("QVH_INSTALL", "nothread")) return -1;
  InterlockedExchange(&context->worker_result, -1);
  InterlockedExchange(&context->worker_busy, 1);
  HANDLE thread = CreateThread(nullptr, 0, InstallWorkerThread, context, 0, &context->worker_thread_id);
  if (!thread) {
    InterlockedExchange(&context->worker_busy, 0);
    return -1;
  }
  if (!wait) {
    context->worker_thread = thread;  // the window waits for it after the outcome's box
    return 0;
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return InterlockedCompareExchange(&context->worker_result, 0, 0);
}

int32_t UninstallProcedure(SetupContext*) {
  long result = EnvNumber("QVH_UNINSTALL", 0);
  WaitAnsweringSentMessages(GetCurrentProcess(), static_cast<DWORD>(EnvNumber("QVH_UNINSTALL_MS", 0)));
  Log("uninstall %ld", result);
  return static_cast<int32_t>(result);
}

int UninstallEntryPresent() {
  return EnvNumber("QVH_UNINSTALL_ENTRY", EnvNumber("QVH_PRODUCT", 0)) == 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  InitializeCriticalSection(&g_status_lock);
  if (EnvNumber("QVH_SHELL_HANG_MS", 0) > 0) g_launch_open_hooks = &HUNG_SHELL;
  const char* args = GetCommandLineA();
  args = (*args == '"') ? strchr(args + 1, '"') : strchr(args, ' ');
  ParseCommandLine(args ? args + 1 : nullptr);
  memset(&g_context, 0, sizeof g_context);
  g_context.instance = instance;
  int code = -2;
  if (CreateMainWindow(instance, MainWindowProc, nullptr, "Halcyra Quorvane Installation (Version 2.0.3.4)")) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    code = static_cast<int>(message.wParam);
  }
  Log("exit %ld", code);
  return code;
}
