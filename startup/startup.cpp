// The entry of the setup program: its own file, switches, the single-instance
// mutex, closing running product windows, the context record and the message loop.
#include "startup/startup.h"

#include <objbase.h>

#include <cstring>

#include "package/package.h"
#include "startup/cmdline.h"
#include "startup/environment.h"
#include "startup/own_file.h"
#include "startup/version.h"
#include "system/run_log.h"
#include "window/main_window.h"

const char SETUP_MUTEX_NAME[] = "Halcyra Quorvane-Installation- Mutex-{5E0B7C21-93D4-4A6F-B812-6C3F09D4E7A5}";
const char WINDOW_TITLE_FORMAT[] = "Halcyra Quorvane Installation (Version %s)";
const char SETUP_VERSION[] = SETUP_VERSION_TEXT;

// Exit code when the window could not be made (after its "Startup Error" box).
static const int EXIT_NO_WINDOW = -2;

int InitContext(SetupContext* context, HINSTANCE instance) {
  memset(context, 0, sizeof *context);
  context->instance = instance;
  context->is_wow64 = IsWow64();
  return 0;
}

int SetupMain(HINSTANCE instance, const char* args) {
  // Before anything else, and before the mutex tells others that we run: from
  // here on the file that the uninstaller copy is made from cannot be swapped,
  // and it is proven to be the very image that runs. Wide: the ANSI form of a
  // path outside the code page names another file.
  wchar_t own_path[1024];
  DWORD length = GetModuleFileNameW(instance, own_path, sizeof own_path / sizeof own_path[0]);
  if (length == 0 || length >= sizeof own_path / sizeof own_path[0]) own_path[0] = L'\0';
  OwnFile own;
  if (OpenOwnFile(own_path, &own)) ProveOwnImage(&own, instance);

  HardenDllSearch();
  ParseCommandLine(args);
  RunLogLine("Quorvane Setup %s, switches \"%s\": silent %d, install %d, remove %d", SETUP_VERSION, args ? args : "",
             SilentFlag, InstallFlag, UninstallFlag);

  HANDLE mutex = CreateMutexA(nullptr, TRUE, SETUP_MUTEX_NAME);
  if (mutex == nullptr) return -1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    RunLogLine("another copy of the setup program runs");
    CloseHandle(mutex);
    return -1;
  }

  // The package names the product's programs; the record that it is read into
  // here is cleared again below, and the procedures read it anew.
  g_context.instance = instance;
  const PackageDirectory* programs = ReadPackageDirectory(&g_context) == 0 ? &g_context.package_directory : nullptr;
  CloseWindowsByTitle("QuorVane", programs);
  CloseWindowsByTitle("Quorvane.Remote - Quick.Keys", programs);
  ResolveSpecialFolders();
  InitContext(&g_context, instance);
  HoldSetupFile(&g_context, &own);

  char title[128];
  // Both parts are constants that fit; wsprintfA keeps the C runtime's
  // formatter (some 17 KB) out of the program.
  static_assert(sizeof WINDOW_TITLE_FORMAT + sizeof SETUP_VERSION <= sizeof title, "title fits");
  wsprintfA(title, WINDOW_TITLE_FORMAT, SETUP_VERSION);
  HRESULT com = CoInitialize(nullptr);

  int exit_code = EXIT_NO_WINDOW;
  if (CreateMainWindow(instance, MainWindowProc, nullptr, title) != nullptr) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
      if (got == -1) break;  // no message to wait for would ever come
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    exit_code = got == 0 ? static_cast<int>(message.wParam) : EXIT_NO_WINDOW;
  }

  ReleaseMutex(mutex);
  CloseHandle(mutex);
  if (com == S_OK) CoUninitialize();
  return exit_code;
}
