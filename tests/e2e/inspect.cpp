// qvinspect: what the end-to-end tests and scripts/demo look at inside a Wine prefix.
//   qvinspect link FILE.LNK    prints target, working folder and description, tab-separated
//   qvinspect device {GUID}    prints the path of every present interface of the class;
//                              exit 0 when there is one, 1 when there is none
//   qvinspect gone NAME SECS   exit 0 once no process runs from a file NAME (within SECS
//                              seconds), 1 when one still runs then
//   qvinspect schedule PATH    has PATH deleted at the next restart, as any program may
//   qvinspect reshape          leaves the restart operations as some programs do: REG_SZ,
//                              a string after the closing NUL, and one byte more
//   qvinspect pending          prints the restart operations' type, then every string to
//                              the end of the data in brackets, one a line, and an odd byte
//   qvinspect hold PATH AFTER MS holds PATH open without sharing (prints "held"), as a virus
//                              scanner does for a moment, and lets go MS ms after a file
//                              AFTER appears (two minutes at most)
#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  if (set == INVALID_HANDLE_VALUE) return 1;
  int found = 0;
  SP_DEVICE_INTERFACE_DATA data;
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); i++) {
    char buffer[2048];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr)) {
      printf("%s\n", detail->DevicePath);
      found = 1;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found ? 0 : 1;
}

int Running(const char* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;  // cannot tell: taken as running
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
    found = lstrcmpiA(entry.szExeFile, name) == 0;
  CloseHandle(snapshot);
  return found;
}

int WaitGone(const char* name, int seconds) {
  for (DWORD start = GetTickCount(); Running(name); Sleep(100))
    if (GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) return 1;
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
  if (argc == 5 && !lstrcmpA(argv[1], "hold")) {
    int count = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide_argv == nullptr || count != 5) return 2;
    return HoldUntil(wide_argv[2], wide_argv[3], _wtoi(wide_argv[4]));
  }
  if (argc == 3 && !lstrcmpA(argv[1], "link")) {
    // The link's own path wide: its folder may be named outside the ANSI code page.
    int count = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide_argv == nullptr || count != 3) return 2;
    CoInitialize(nullptr);
    int status = ShowLink(wide_argv[2]);
    LocalFree(wide_argv);
    CoUninitialize();
    return status;
  }
  fputs("usage: qvinspect link FILE.LNK | device {GUID} | gone NAME SECONDS | schedule PATH | reshape | pending |\n"
        "       hold PATH AFTER MS\n",
        stderr);
  return 2;
}
