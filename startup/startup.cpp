// The entry of the setup program: switches, the single-instance mutex, closing
// running product windows, the context record and the message loop.
#include "startup/startup.h"

#include <objbase.h>

#include <cstring>

#include "startup/cmdline.h"
#include "startup/environment.h"
#include "startup/version.h"
#include "system/ansi_path.h"
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

int HoldSetupFile(SetupContext* context, const wchar_t* path) {
  context->setup_file = nullptr;
  context->setup_path[0] = '\0';
  context->setup_name[0] = '\0';
  if (!path || !path[0]) return 0;
  // Opened first: from here on the name below cannot change under us.
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) context->setup_file = file;
  AnsiPathFromWide(path, context->setup_path, sizeof context->setup_path);
  // The long name, also when we were started by the short one.
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(path, &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    ExactAnsiText(found.cFileName, context->setup_name, sizeof context->setup_name);
  }
  return context->setup_file != nullptr;
}

// WM_CLOSE asks a window to close: its program may ask to save, or refuse. A
// prefix also matches other programs' windows (an editor holding
// "QuorVane-notes.txt"), which must never be told that they are being destroyed.
static BOOL CALLBACK PostCloseIfTitleMatches(HWND window, LPARAM prefix_param) {
  const char* prefix = reinterpret_cast<const char*>(prefix_param);
  char title[512];
  title[0] = '\0';
  GetWindowTextA(window, title, sizeof title);
  if (strncmp(title, prefix, strlen(prefix)) == 0) PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

BOOL CloseWindowsByTitle(const char* prefix) {
  return EnumWindows(PostCloseIfTitleMatches, reinterpret_cast<LPARAM>(prefix));
}

int SetupMain(HINSTANCE instance, const char* args) {
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

  CloseWindowsByTitle("QuorVane");
  CloseWindowsByTitle("Quorvane.Remote - Quick.Keys");
  ResolveSpecialFolders();
  InitContext(&g_context, instance);
  // Wide: the ANSI form of a path outside the code page names another file.
  wchar_t own_path[1024];
  DWORD length = GetModuleFileNameW(instance, own_path, sizeof own_path / sizeof own_path[0]);
  if (length == 0 || length >= sizeof own_path / sizeof own_path[0]) own_path[0] = L'\0';
  HoldSetupFile(&g_context, own_path);

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
