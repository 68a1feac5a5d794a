// Test helper that reads what X cannot tell:
//   probe client                 the main window's client area on screen: "x y w h"
//   probe msgbox CAPTION         text of the message box with that caption, and
//                                "topmost" when it is system-modal
//   (both print "none" when there is no such window: no output at all is
//   Wine's failure to run the probe, never an answer)
//   probe post ID LPARAM         posts WM_COMMAND (ID, LPARAM) to the main window
//   probe destroy                posts WM_DESTROY to it, as another program could
//   probe invalidate             asks the main window for a full repaint
//   probe queryend               sends it WM_QUERYENDSESSION (logoff), prints the answer
//   probe run PROGRAM [ARGS]     runs a program, prints its full 32-bit exit code
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char MAIN_CLASS[] = "HCQuorvane0Installer0MainWindow0";

int None() {
  printf("none\n");
  return 1;
}

int Client() {
  HWND window = FindWindowA(MAIN_CLASS, nullptr);
  // Not before it is shown: until then it has its creation size.
  if (!window || !IsWindowVisible(window)) return None();
  RECT rect;
  POINT origin = {0, 0};
  if (!GetClientRect(window, &rect) || !ClientToScreen(window, &origin)) return None();
  printf("%ld %ld %ld %ld\n", origin.x, origin.y, rect.right, rect.bottom);
  return 0;
}

int MessageBoxText(const char* caption) {
  HWND box = FindWindowA("#32770", caption);
  if (!box) return None();
  char text[2048] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  printf("%s\n", text);
  LONG_PTR ex_style = GetWindowLongPtrA(box, GWL_EXSTYLE);
  if (ex_style & WS_EX_TOPMOST) printf("topmost\n");
  HWND owner = GetWindow(box, GW_OWNER);
  char owner_class[64] = "";
  if (owner) GetClassNameA(owner, owner_class, sizeof owner_class);
  printf("owner %s\n", owner ? owner_class : "none");
  return 0;
}

int Run(const char* command_line) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  char line[4096];
  lstrcpynA(line, command_line, sizeof line);
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "probe: cannot start %s\n", command_line);
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  printf("%ld\n", static_cast<long>(static_cast<LONG>(code)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "client") == 0) return Client();
  if (argc >= 4 && strcmp(argv[1], "post") == 0) {
    HWND window = FindWindowA(MAIN_CLASS, nullptr);
    return window && PostMessageA(window, WM_COMMAND, atoi(argv[2]), atoi(argv[3])) ? 0 : 1;
  }
  if (argc >= 2 && strcmp(argv[1], "destroy") == 0) {
    HWND window = FindWindowA(MAIN_CLASS, nullptr);
    return window && PostMessageA(window, WM_DESTROY, 0, 0) ? 0 : 1;
  }
  if (argc >= 2 && strcmp(argv[1], "invalidate") == 0) {
    HWND window = FindWindowA(MAIN_CLASS, nullptr);
    return window && InvalidateRect(window, nullptr, TRUE) ? 0 : 1;
  }
  if (argc >= 2 && strcmp(argv[1], "queryend") == 0) {
    HWND window = FindWindowA(MAIN_CLASS, nullptr);
    DWORD_PTR answer = 0;
    return window && SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &answer) &&
           printf("%lu\n", static_cast<unsigned long>(answer)) > 0 ? 0 : 1;
  }
  if (argc >= 3 && strcmp(argv[1], "msgbox") == 0) return MessageBoxText(argv[2]);
  if (argc >= 3 && strcmp(argv[1], "run") == 0) {
    // Everything after "run " in our own command line, quoting kept.
    const char* line = strstr(GetCommandLineA(), " run ");
    return line ? Run(line + 5) : 1;
  }
  fprintf(stderr, "usage: probe client | msgbox CAPTION | post ID LPARAM | destroy | invalidate | queryend | run PROGRAM [ARGS]\n");
  return 2;
}
