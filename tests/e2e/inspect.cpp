// qvinspect: what the end-to-end tests and scripts/demo look at inside a Wine prefix.
//   qvinspect link FILE.LNK    prints target, working folder and description, tab-separated
//   qvinspect device {GUID}    prints the path of every present interface of the class;
//                              exit 0 when there is one, 1 and "none" when there is none
//   qvinspect gone NAME SECS   exit 0 and "gone" once no process runs from a file NAME
//                              (within SECS seconds), 1 and "running" when one still runs then
//   qvinspect schedule PATH    has PATH deleted at the next restart, as any program may
//   qvinspect reshape          leaves the restart operations as some programs do: REG_SZ,
//                              a string after the closing NUL, and one byte more
//   qvinspect pending          prints the restart operations' type, then every string to
//                              the end of the data in brackets, one a line, and an odd byte
//   qvinspect contend WHEN SETUP OTHER ARGS...  runs SETUP with ARGS, holding its file with
//                              delete access, sharing everything; WHEN "start" (its first
//                              instruction) or "mutex" (once it exists), renames it to
//                              SETUP.old and copies OTHER there; prints its exit code
//   qvinspect hold PATH AFTER MS holds PATH open without sharing (prints "held"), as a virus
//                              scanner does for a moment, and lets go MS ms after a file
//                              AFTER appears (two minutes at most)
// device and gone exit 2 when they cannot tell; their words tell a "no" from
// Wine's own exit status 1 for a program it cannot start.
#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

int ShowLink(const wchar_t* file) {
  int status = 1;
  IShellLinkA* link = nullptr;
  HRESULT made = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
  if (FAILED(made)) {
    printf("cannot make a shell link: 0x%08lx\n", static_cast<unsigned long>(made));
    return 2;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    HRESULT loaded = persist->Load(file, STGM_READ);
    if (FAILED(loaded)) {
      // On stdout, so that a failing check shows why the link could not be read.
      printf("cannot load: 0x%08lx\n", static_cast<unsigned long>(loaded));
    } else {
      char target[MAX_PATH] = "", folder[MAX_PATH] = "", description[MAX_PATH] = "";
      link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
      link->GetWorkingDirectory(folder, MAX_PATH);
      link->GetDescription(description, MAX_PATH);
      printf("%s\t%s\t%s\n", target, folder, description);
      status = 0;
    }
    persist->Release();
  }
  link->Release();
  return status;
}

int ShowDevices(const char* guid_text) {
  wchar_t wide[64];
  GUID guid;
  MultiByteToWideChar(CP_ACP, 0, guid_text, -1, wide, 64);
  if (FAILED(CLSIDFromString(wide, &guid))) return 2;
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return 2;
  int found = 0;
  SP_DEVICE_INTERFACE_DATA data;
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); i++) {
    char buffer[2048];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr))
      printf("%s\n", detail->DevicePath);
    found = 1;
  }
  bool complete = GetLastError() == ERROR_NO_MORE_ITEMS;
  SetupDiDestroyDeviceInfoList(set);
  if (found) return 0;
  if (!complete) return 2;
  puts("none");
  return 1;
}

int Running(const char* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;  // cannot tell
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  BOOL more = Process32First(snapshot, &entry);
  int found = more ? 0 : -1;  // not even this process listed: cannot tell
  for (; more && found == 0; more = Process32Next(snapshot, &entry))
    found = lstrcmpiA(entry.szExeFile, name) == 0;
  CloseHandle(snapshot);
  return found;
}

int WaitGone(const char* name, int seconds) {
  int running;
  for (DWORD start = GetTickCount(); (running = Running(name)) == 1; Sleep(100)) {
    if (GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) {
      puts("running");
      return 1;
    }
  }
  if (running < 0) return 2;
  puts("gone");
  return 0;
}

const wchar_t SESSION_MANAGER[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PENDING[] = L"PendingFileRenameOperations";

// The restart operations' bytes, with room for 64 more; 0 when there are none.
DWORD ReadPending(HKEY key, DWORD* type, BYTE* data, DWORD room) {
  DWORD size = room - 64;
  return RegQueryValueExW(key, PENDING, nullptr, type, data, &size) == ERROR_SUCCESS ? size : 0;
}

int Pending(bool reshape) {
  static BYTE data[65536];
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key)) return 1;
  DWORD type = 0;
  DWORD size = ReadPending(key, &type, data, sizeof data);
  int status = size ? 0 : 1;
  if (size && reshape) {
    // Ending in two NULs still, as a restart carries out only such a value.
    memcpy(data + size, L"junk\0", 12);
    data[size + 12] = '!';
    status = RegSetValueExW(key, PENDING, 0, REG_SZ, data, size + 13) ? 1 : 0;
  } else if (size) {
    printf("type %lu\n", static_cast<unsigned long>(type));
    const wchar_t* units = reinterpret_cast<const wchar_t*>(data);
    for (DWORD at = 0; at < size / 2;) {
      char text[2048];
      int n = WideCharToMultiByte(CP_ACP, 0, units + at, -1, text, sizeof text, nullptr, nullptr);
      printf("[%s]\n", n ? text : "?");
      while (at < size / 2 && units[at]) ++at;
      ++at;
    }
    if (size % 2) printf("odd byte %02x\n", data[size - 1]);
  }
  RegCloseKey(key);
  return status;
}

bool Swap(const wchar_t* setup, const wchar_t* other) {
  wchar_t old[MAX_PATH + 8];
  swprintf(old, MAX_PATH + 8, L"%ls.old", setup);
  return MoveFileW(setup, old) && CopyFileW(other, setup, TRUE);
}

// argv: WHEN SETUP OTHER ARGS...
int Contend(int argc, wchar_t** argv) {
  static wchar_t line[32768];
  swprintf(line, 32768, L"\"%ls\"", argv[1]);
  for (int i = 3; i < argc; i++) wcscat(wcscat(line, L" "), argv[i]);
  HANDLE held = CreateFileW(argv[1], DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const bool at_start = !wcscmp(argv[0], L"start"), at_mutex = !wcscmp(argv[0], L"mutex");
  if (held == INVALID_HANDLE_VALUE ||
      !CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, at_start ? DEBUG_ONLY_THIS_PROCESS : 0, nullptr,
                      nullptr, &si, &pi))
    return 2;
  bool swapped = !at_start && !at_mutex;
  // At the loader's breakpoint, before the program's first instruction; then
  // it runs on undebugged.
  for (DEBUG_EVENT event; at_start && WaitForDebugEvent(&event, 60000);) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) CloseHandle(event.u.CreateProcessInfo.hFile);
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
    bool first_break = event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                       event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT;
    if (first_break) swapped = Swap(argv[1], argv[2]);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    if ((first_break && DebugActiveProcessStop(pi.dwProcessId)) || event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
      break;
  }
  while (at_mutex && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
    HANDLE mutex =
        OpenMutexA(SYNCHRONIZE, FALSE, "Halcyra Quorvane-Installation- Mutex-{5E0B7C21-93D4-4A6F-B812-6C3F09D4E7A5}");
    if (!mutex) continue;
    swapped = Swap(argv[1], argv[2]);
    CloseHandle(mutex);
    break;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  printf("%ld\n", static_cast<long>(static_cast<LONG>(code)));
  return swapped ? 0 : 2;
}

int HoldUntil(const wchar_t* path, const wchar_t* after, int ms) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  puts("held");
  fflush(stdout);
  for (DWORD start = GetTickCount(); GetFileAttributesW(after) == INVALID_FILE_ATTRIBUTES;) {
    if (GetTickCount() - start > 120000) break;
    Sleep(5);
  }
  Sleep(ms);
  CloseHandle(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && !lstrcmpA(argv[1], "gone")) return WaitGone(argv[2], atoi(argv[3]));
  if (argc == 3 && !lstrcmpA(argv[1], "schedule")) return MoveFileExA(argv[2], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : 1;
  if (argc == 3 && !lstrcmpA(argv[1], "device")) return ShowDevices(argv[2]);
  if (argc == 2 && !lstrcmpA(argv[1], "reshape")) return Pending(true);
  if (argc == 2 && !lstrcmpA(argv[1], "pending")) return Pending(false);
  // Paths wide: a folder may be named outside the ANSI code page.
  int count = 0;
  wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide_argv == nullptr || count != argc) return 2;
  if (argc >= 5 && !lstrcmpA(argv[1], "contend")) return Contend(count - 2, wide_argv + 2);
  if (argc == 5 && !lstrcmpA(argv[1], "hold")) return HoldUntil(wide_argv[2], wide_argv[3], _wtoi(wide_argv[4]));
  if (argc == 3 && !lstrcmpA(argv[1], "link")) {
    CoInitialize(nullptr);
    int status = ShowLink(wide_argv[2]);
    CoUninitialize();
    return status;
  }
  fputs("usage: qvinspect link FILE.LNK | device {GUID} | gone NAME SECONDS | schedule PATH | reshape | pending |\n"
        "  contend start|mutex|never SETUP OTHER ARGS...\n"
        "  hold PATH AFTER MS\n",
        stderr);
  return 2;
}
