#include "window/launch_open.h"

#include <objbase.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cstring>

#include "system/wait.h"
#include "window/launch_target.h"
#include "window/main_window.h"

const LaunchOpenHooks* g_launch_open_hooks = nullptr;

static int ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  // Windows before Vista knows no elevation: the query fails there.
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  BOOL known = GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
  CloseHandle(token);
  return known && size == sizeof type && type == TokenElevationTypeFull;
}

// The shell's own ShellExecute, reached from the desktop window's folder view:
// the program it starts runs in the desktop's process context, the user's own.
// Every interface is asked for by its IID and called through its vtable.
static int OpenAsDesktopUser(const char* address) {
  wchar_t wide[LAUNCH_TARGET_MAX];
  int units = MultiByteToWideChar(CP_ACP, 0, address, -1, wide, LAUNCH_TARGET_MAX);
  if (units <= 0) return 0;
  IShellWindows* windows = nullptr;
  IDispatch* desktop = nullptr;
  IServiceProvider* provider = nullptr;
  IShellBrowser* browser = nullptr;
  IShellView* view = nullptr;
  IDispatch* background = nullptr;
  IShellFolderViewDual* folder_view = nullptr;
  IDispatch* application = nullptr;
  IShellDispatch2* shell = nullptr;
  BSTR file = nullptr;
  BSTR verb = nullptr;
  VARIANT location, none, operation, show;
  memset(&location, 0, sizeof location);
  memset(&none, 0, sizeof none);  // VT_EMPTY
  memset(&operation, 0, sizeof operation);
  memset(&show, 0, sizeof show);
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  long desktop_window = 0;
  int opened = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                 reinterpret_cast<void**>(&windows))) &&
      windows->FindWindowSW(&location, &none, SWC_DESKTOP, &desktop_window, SWFO_NEEDDISPATCH, &desktop) == S_OK &&
      desktop && SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))) &&
      SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&browser))) &&
      SUCCEEDED(browser->QueryActiveShellView(&view)) && view &&
      SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&background))) &&
      SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&folder_view))) &&
      SUCCEEDED(folder_view->get_Application(&application)) && application &&
      SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell))) &&
      (file = SysAllocString(wide)) != nullptr && (verb = SysAllocString(L"open")) != nullptr) {
    operation.vt = VT_BSTR;
    operation.bstrVal = verb;
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    // The method's name goes through shellapi.h's ShellExecute macro, as its
    // declaration did; the call is the interface's, by its vtable slot.
    opened = SUCCEEDED(shell->ShellExecute(file, none, none, operation, show));
  }
  if (file) SecureZeroMemory(file, units * sizeof(wchar_t));
  SecureZeroMemory(wide, sizeof wide);
  if (verb) SysFreeString(verb);
  if (file) SysFreeString(file);
  if (shell) shell->Release();
  if (application) application->Release();
  if (folder_view) folder_view->Release();
  if (background) background->Release();
  if (view) view->Release();
  if (browser) browser->Release();
  if (provider) provider->Release();
  if (desktop) desktop->Release();
  if (windows) windows->Release();
  return opened;
}

static void OpenHere(HWND owner, const char* address) {
  ShellExecuteA(owner, "open", address, nullptr, nullptr, SW_SHOW);
}

static const LaunchOpenHooks REAL_SYSTEM = {ProcessIsElevated, OpenAsDesktopUser, OpenHere};

// What one opening needs, owned by its thread: the window stops waiting for it
// after a while and wipes its own buffer, while the thread may still be in the shell.
struct OpenJob {
  const LaunchOpenHooks* open;
  HWND owner;
  char address[LAUNCH_TARGET_MAX];
};

static DWORD WINAPI OpenJobThread(LPVOID parameter) {
  OpenJob* job = static_cast<OpenJob*>(parameter);
  // An apartment of its own: the desktop's shell is reached by calls into
  // another process that have no time limit, and only this thread may hang in them.
  HRESULT com = CoInitialize(nullptr);
  // Elevated, ShellExecute would start the browser as the administrator who
  // elevated this program, not as the user. Through the desktop's shell or not at all.
  if (job->open->process_is_elevated())
    job->open->open_as_desktop_user(job->address);
  else
    job->open->open_here(job->owner, job->address);
  if (SUCCEEDED(com)) CoUninitialize();
  SecureZeroMemory(job->address, sizeof job->address);
  HeapFree(GetProcessHeap(), 0, job);
  return 0;
}

void OpenLaunchTargetWith(SetupContext* context, const unsigned char* stored, uint32_t count,
                          unsigned char* buffer) {
  if (!stored || count == 0 || count > LAUNCH_TARGET_MAX) return;
  const LaunchOpenHooks* open = g_launch_open_hooks ? g_launch_open_hooks : &REAL_SYSTEM;
  // Zero first: the stored form carries its own zero, and a damaged one still
  // ends inside the buffer.
  memset(buffer, 0, LAUNCH_TARGET_MAX);
  memcpy(buffer, stored, count);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, buffer, count);
  buffer[LAUNCH_TARGET_MAX - 1] = 0;
  OpenJob* job = static_cast<OpenJob*>(HeapAlloc(GetProcessHeap(), 0, sizeof(OpenJob)));
  HANDLE thread = nullptr;
  if (job) {
    job->open = open;
    job->owner = context->main_window;
    memcpy(job->address, buffer, LAUNCH_TARGET_MAX);
    thread = CreateThread(nullptr, 0, OpenJobThread, job, 0, nullptr);
  }
  if (thread) {
    // The outcome's box and the end of the program wait no longer than this
    // for a shell that does not answer; the thread goes on alone, and the
    // program's end ends it.
    WaitAnsweringSentMessages(thread, LAUNCH_OPEN_WAIT_MS);
    CloseHandle(thread);
  } else if (job) {
    SecureZeroMemory(job->address, sizeof job->address);
    HeapFree(GetProcessHeap(), 0, job);
  }
  SecureZeroMemory(buffer, LAUNCH_TARGET_MAX);
}

void OpenLaunchTarget(SetupContext* context, const unsigned char* stored, uint32_t count) {
  unsigned char buffer[LAUNCH_TARGET_MAX];
  OpenLaunchTargetWith(context, stored, count, buffer);
}
