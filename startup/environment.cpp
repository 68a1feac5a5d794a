// Environment probes: OS generation, WOW64, the product's device, shell folders
// and the product folder. None of them shows a message; failures fall back.
#include "startup/environment.h"

#include <setupapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

#include "startup/environment_hooks.h"
#include "startup/os_classify.h"
#include "startup/path_root.h"
#include "system/ansi_path.h"
#include "system/files.h"
#include "system/text.h"

const GUID PRODUCT_DEVICE_INTERFACE_GUID = {
    0x3F9A2C64, 0x7B18, 0x4E5D, {0xA2, 0xC7, 0x91, 0xD0, 0x5E, 0x3B, 0x6F, 0x48}};
const char PRODUCT_SUBFOLDER[] = "HC\\Quorvane";

const EnvironmentHooks* g_environment_hooks = nullptr;

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record");
#if !defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "32-bit interface data");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6, "32-bit detail record");
#endif

using GetSpecialFolderPathFn = decltype(&::SHGetSpecialFolderPathW);
using GetFolderPathFn = decltype(&::SHGetFolderPathW);
using IsWow64ProcessFn = decltype(&::IsWow64Process);
using GetClassDevsFn = decltype(&::SetupDiGetClassDevsA);
using EnumDeviceInterfacesFn = decltype(&::SetupDiEnumDeviceInterfaces);
using GetInterfaceDetailFn = decltype(&::SetupDiGetDeviceInterfaceDetailW);
using DestroyDeviceInfoListFn = decltype(&::SetupDiDestroyDeviceInfoList);

static char g_common_programs[512];
static char g_startup_folder[512];
static int32_t g_folders_resolved = 0;

HMODULE LoadSystemLibrary(const char* name) {
  // Wide: through the code page, a system folder named outside it would come
  // back as a look-alike folder, which anyone may have made.
  wchar_t path[MAX_PATH + 32];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (path[n - 1] != L'\\') path[n++] = L'\\';
  if (!MultiByteToWideChar(CP_ACP, 0, name, -1, path + n, MAX_PATH + 32 - n)) return nullptr;
  // The DLL's own imports are looked for beside it too, not in this program's
  // folder, also where the search cannot be narrowed otherwise.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Fn>
static Fn LibraryFunction(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

static HMODULE LoadShellLibrary(const char* name) {
  if (g_environment_hooks && g_environment_hooks->load_library) return g_environment_hooks->load_library(name);
  return LoadSystemLibrary(name);
}

static UINT ReadWindowsDirectory(wchar_t* buffer, UINT size) {
  if (g_environment_hooks && g_environment_hooks->get_windows_directory)
    return g_environment_hooks->get_windows_directory(buffer, size);
  return GetWindowsDirectoryW(buffer, size);
}

// The shell's folders are asked for in their wide form and kept only where
// their ANSI form names the same folder: through the code page "Łukasz" would
// come back as "Lukasz", another folder, maybe another user's. A folder
// without such a form is unknown, as one that the shell cannot give.
// 1 when out holds the folder; else out is empty.
static int SpecialFolder(GetSpecialFolderPathFn get_special, int csidl, BOOL create, char* out, size_t out_size) {
  wchar_t wide[MAX_PATH + 1];
  wide[0] = L'\0';
  if (get_special(nullptr, wide, csidl, create) != 1) wide[0] = L'\0';
  wide[MAX_PATH] = L'\0';
  return AnsiPathFromWide(wide, out, out_size);
}

static int FolderPath(GetFolderPathFn get_folder, int csidl, char* out, size_t out_size) {
  wchar_t wide[MAX_PATH + 1];
  wide[0] = L'\0';
  if (get_folder(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, wide) != S_OK) wide[0] = L'\0';
  wide[MAX_PATH] = L'\0';
  return AnsiPathFromWide(wide, out, out_size);
}

static BOOL WINAPI SystemGetVersion(OSVERSIONINFOA* info) {
  return GetVersionExA(info);
}

int32_t ClassifyOsWith(BOOL(WINAPI* get_version)(OSVERSIONINFOA*)) {
  OSVERSIONINFOEXA info;
  memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!get_version(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!get_version(reinterpret_cast<OSVERSIONINFOA*>(&info))) return ClassifyVersion(0, 0, 0, 0);
  }
  return ClassifyVersion(1, info.dwMajorVersion, info.dwMinorVersion, info.wProductType);
}

int32_t ClassifyOs() {
  return ClassifyOsWith(SystemGetVersion);
}

int IsWow64() {
  HMODULE kernel = GetModuleHandleA("Kernel32.dll");
  if (kernel == nullptr) return 0;
  auto is_wow64_process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  if (is_wow64_process == nullptr) return 0;
  BOOL wow64 = FALSE;
  if (!is_wow64_process(GetCurrentProcess(), &wow64)) return 0;
  return wow64 ? 1 : 0;
}

static HANDLE ProbeWith(HMODULE setupapi, GUID interface_class) {
  auto get_class_devs = LibraryFunction<GetClassDevsFn>(setupapi, "SetupDiGetClassDevsA");
  auto enum_interfaces = LibraryFunction<EnumDeviceInterfacesFn>(setupapi, "SetupDiEnumDeviceInterfaces");
  auto get_detail = LibraryFunction<GetInterfaceDetailFn>(setupapi, "SetupDiGetDeviceInterfaceDetailW");
  auto destroy_list = LibraryFunction<DestroyDeviceInfoListFn>(setupapi, "SetupDiDestroyDeviceInfoList");
  if (!get_class_devs || !enum_interfaces || !get_detail || !destroy_list) return nullptr;
  HDEVINFO set = get_class_devs(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return nullptr;
  SP_DEVICE_INTERFACE_DATA data;
  memset(&data, 0, sizeof data);
  data.cbSize = sizeof data;
  if (!enum_interfaces(set, nullptr, &interface_class, 0, &data)) {
    destroy_list(set);
    return nullptr;
  }
  // A present interface exists from here on, so the product counts as installed
  // even when its path cannot be read or opened: that is what the invalid-handle
  // result says.
  HANDLE result = INVALID_HANDLE_VALUE;
  DWORD size = 0;
  // The path wide, as the system names the interface: its ANSI form could be a look-alike.
  get_detail(set, &data, nullptr, 0, &size, nullptr);
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = nullptr;
  if (size >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
    detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (detail != nullptr) {
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    get_detail(set, &data, detail, size, nullptr, nullptr);
    result = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HeapFree(GetProcessHeap(), 0, detail);
  }
  destroy_list(set);
  return result;
}

// The device service is loaded here, from the system folder, and not imported:
// an import is loaded before the program's first instruction, where nothing
// can keep the search out of the program's folder, and the Downloads folder
// that the program is started from may hold a planted DLL of any name.
HANDLE ProbeProductDevice(GUID interface_class) {
  HMODULE setupapi = LoadSystemLibrary("setupapi.dll");
  if (setupapi == nullptr) return nullptr;
  HANDLE result = ProbeWith(setupapi, interface_class);
  FreeLibrary(setupapi);
  return result;
}

void ResolveSpecialFolders() {
  if (g_folders_resolved) return;
  g_folders_resolved = 1;  // never again, not even after a failure

  HMODULE shell32 = LoadShellLibrary("SHELL32.DLL");
  if (shell32 == nullptr) return;
  auto get_special = reinterpret_cast<GetSpecialFolderPathFn>(
      reinterpret_cast<void*>(GetProcAddress(shell32, "SHGetSpecialFolderPathW")));
  bool pass_failed = false;
  if (get_special != nullptr) {
    if (!SpecialFolder(get_special, CSIDL_COMMON_PROGRAMS, TRUE, g_common_programs, sizeof g_common_programs))
      pass_failed = true;
    if (!SpecialFolder(get_special, CSIDL_STARTUP, TRUE, g_startup_folder, sizeof g_startup_folder))
      pass_failed = true;
  }
  FreeLibrary(shell32);
  if (get_special != nullptr && !pass_failed) return;

  HMODULE shfolder = LoadShellLibrary("SHFOLDER.DLL");
  if (shfolder == nullptr) return;
  auto get_folder = reinterpret_cast<GetFolderPathFn>(
      reinterpret_cast<void*>(GetProcAddress(shfolder, "SHGetFolderPathW")));
  if (get_folder != nullptr) {
    if (g_common_programs[0] == '\0')
      FolderPath(get_folder, CSIDL_COMMON_PROGRAMS, g_common_programs, sizeof g_common_programs);
    if (g_startup_folder[0] == '\0') FolderPath(get_folder, CSIDL_STARTUP, g_startup_folder, sizeof g_startup_folder);
  }
  FreeLibrary(shfolder);
}

void ForgetSpecialFoldersForTest() {
  g_folders_resolved = 0;
  g_common_programs[0] = '\0';
  g_startup_folder[0] = '\0';
}

const char* GetCommonProgramsFolder() {
  return g_common_programs;
}

const char* GetStartupFolder() {
  return g_startup_folder;
}

// A folder, not a link to one elsewhere.
static int ExistingFolder(const char* path) {
  wchar_t wide[1024];
  if (!WideFromAnsi(path, wide, sizeof wide / sizeof wide[0])) return 0;
  const DWORD attributes = GetFileAttributesW(wide);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int ResolveInstallFolder(SetupContext* context, const char* sub_path, FileFailure* failure) {
  char* folder = context->install_folder;
  const UINT cap = sizeof context->install_folder;
  folder[0] = '\0';

  HMODULE shell32 = LoadShellLibrary("SHELL32.DLL");
  if (shell32 != nullptr) {
    auto get_special = reinterpret_cast<GetSpecialFolderPathFn>(
        reinterpret_cast<void*>(GetProcAddress(shell32, "SHGetSpecialFolderPathW")));
    if (get_special != nullptr) SpecialFolder(get_special, CSIDL_PROGRAM_FILES, FALSE, folder, cap);
    FreeLibrary(shell32);
  }
  if (folder[0] == '\0') {
    HMODULE shfolder = LoadShellLibrary("SHFOLDER.DLL");
    if (shfolder != nullptr) {
      auto get_folder = reinterpret_cast<GetFolderPathFn>(
          reinterpret_cast<void*>(GetProcAddress(shfolder, "SHGetFolderPathW")));
      if (get_folder != nullptr) FolderPath(get_folder, CSIDL_PROGRAM_FILES, folder, cap);
      FreeLibrary(shfolder);
    }
  }
  // A Program Files folder too long to take the sub-path is never cut short:
  // the fallback takes its place.
  if (folder[0] != '\0' && AppendPathPart(folder, cap, sub_path)) return 0;
  wchar_t wide_windows_dir[2048];
  char windows_dir[2048];
  memset(wide_windows_dir, 0, sizeof wide_windows_dir);
  UINT n = ReadWindowsDirectory(wide_windows_dir, 2000);
  bool read = n != 0 && n < 2000 && n == wcslen(wide_windows_dir) &&
              AnsiPathFromWide(wide_windows_dir, windows_dir, sizeof windows_dir);
  if (!ProgramFilesFromWindowsDir(folder, cap, read ? windows_dir : nullptr))
    ProgramFilesFromWindowsDir(folder, cap, nullptr);
  // Only a folder that is there: one made at a drive root would let every
  // user change what the elevated install puts below it.
  if (!ExistingFolder(folder)) {
    NoteFileFailure(failure, folder, ERROR_PATH_NOT_FOUND);
    folder[0] = '\0';
    return -3;
  }
  if (!AppendPathPart(folder, cap, sub_path)) {
    NoteFileFailure(failure, folder, ERROR_FILENAME_EXCED_RANGE);
    folder[0] = '\0';
    return -3;
  }
  return 0;
}
