// Environment probes: OS generation, WOW64, the product's device, shell folders
// and the product folder. None of them shows a message; failures fall back.
#include "startup/environment.h"

#include <setupapi.h>
#include <shlobj.h>

#include <cstring>

#include "startup/environment_hooks.h"
#include "startup/os_classify.h"
#include "startup/path_root.h"
#include "system/text.h"

const GUID PRODUCT_DEVICE_INTERFACE_GUID = {
    0x3F9A2C64, 0x7B18, 0x4E5D, {0xA2, 0xC7, 0x91, 0xD0, 0x5E, 0x3B, 0x6F, 0x48}};
const char PRODUCT_SUBFOLDER[] = "HC\\Quorvane";

const EnvironmentHooks* g_environment_hooks = nullptr;

static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record");
#if !defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "32-bit interface data");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "32-bit detail record");
#endif

using GetSpecialFolderPathFn = decltype(&::SHGetSpecialFolderPathA);
using GetFolderPathFn = decltype(&::SHGetFolderPathA);
using IsWow64ProcessFn = decltype(&::IsWow64Process);

static char g_common_programs[512];
static char g_startup_folder[512];
static int32_t g_folders_resolved = 0;

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH + 32];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (!AppendPathPart(path, sizeof path, name)) return nullptr;
  return LoadLibraryA(path);
}

static HMODULE LoadShellLibrary(const char* name) {
  if (g_environment_hooks && g_environment_hooks->load_library) return g_environment_hooks->load_library(name);
  return LoadSystemLibrary(name);
}

static UINT ReadWindowsDirectory(char* buffer, UINT size) {
  if (g_environment_hooks && g_environment_hooks->get_windows_directory)
    return g_environment_hooks->get_windows_directory(buffer, size);
  return GetWindowsDirectoryA(buffer, size);
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

HANDLE ProbeProductDevice(GUID interface_class) {
  HDEVINFO set = SetupDiGetClassDevsA(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return nullptr;
  SP_DEVICE_INTERFACE_DATA data;
  memset(&data, 0, sizeof data);
  data.cbSize = sizeof data;
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interface_class, 0, &data)) {
    SetupDiDestroyDeviceInfoList(set);
    return nullptr;
  }
  // A present interface exists from here on, so the product counts as installed
  // even when its path cannot be read or opened: that is what the invalid-handle
  // result says.
  HANDLE result = INVALID_HANDLE_VALUE;
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = nullptr;
  if (size >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (detail != nullptr) {
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr);
    result = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HeapFree(GetProcessHeap(), 0, detail);
  }
  SetupDiDestroyDeviceInfoList(set);
  return result;
}

void ResolveSpecialFolders() {
  if (g_folders_resolved) return;
  g_folders_resolved = 1;  // never again, not even after a failure

  HMODULE shell32 = LoadShellLibrary("SHELL32.DLL");
  if (shell32 == nullptr) return;
  auto get_special = reinterpret_cast<GetSpecialFolderPathFn>(
      reinterpret_cast<void*>(GetProcAddress(shell32, "SHGetSpecialFolderPathA")));
  bool pass_failed = false;
  if (get_special != nullptr) {
    if (get_special(nullptr, g_common_programs, CSIDL_COMMON_PROGRAMS, TRUE) != 1) {
      g_common_programs[0] = '\0';
      pass_failed = true;
    }
    if (get_special(nullptr, g_startup_folder, CSIDL_STARTUP, TRUE) != 1) {
      g_startup_folder[0] = '\0';
      pass_failed = true;
    }
  }
  FreeLibrary(shell32);
  if (get_special != nullptr && !pass_failed) return;

  HMODULE shfolder = LoadShellLibrary("SHFOLDER.DLL");
  if (shfolder == nullptr) return;
  auto get_folder = reinterpret_cast<GetFolderPathFn>(
      reinterpret_cast<void*>(GetProcAddress(shfolder, "SHGetFolderPathA")));
  if (get_folder != nullptr) {
    if (g_common_programs[0] == '\0' &&
        get_folder(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, g_common_programs) != S_OK)
      g_common_programs[0] = '\0';
    if (g_startup_folder[0] == '\0' &&
        get_folder(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, g_startup_folder) != S_OK)
      g_startup_folder[0] = '\0';
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

int ResolveInstallFolder(SetupContext* context, const char* sub_path) {
  char* folder = context->install_folder;
  const UINT cap = sizeof context->install_folder;
  folder[0] = '\0';

  // The shell writes up to MAX_PATH chars into the buffer it is given.
  static_assert(sizeof context->install_folder >= MAX_PATH, "shell folder buffer");
  HMODULE shell32 = LoadShellLibrary("SHELL32.DLL");
  if (shell32 != nullptr) {
    auto get_special = reinterpret_cast<GetSpecialFolderPathFn>(
        reinterpret_cast<void*>(GetProcAddress(shell32, "SHGetSpecialFolderPathA")));
    if (get_special != nullptr && get_special(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE) != 1) folder[0] = '\0';
    FreeLibrary(shell32);
  }
  if (folder[0] == '\0') {
    HMODULE shfolder = LoadShellLibrary("SHFOLDER.DLL");
    if (shfolder != nullptr) {
      auto get_folder = reinterpret_cast<GetFolderPathFn>(
          reinterpret_cast<void*>(GetProcAddress(shfolder, "SHGetFolderPathA")));
      if (get_folder != nullptr &&
          get_folder(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        folder[0] = '\0';
      FreeLibrary(shfolder);
    }
  }
  if (folder[0] == '\0') {
    char windows_dir[2048];
    memset(windows_dir, 0, sizeof windows_dir);
    UINT n = ReadWindowsDirectory(windows_dir, 2000);
    bool read = n != 0 && n < 2000 && n == strlen(windows_dir);
    if (!ProgramFilesFromWindowsDir(folder, cap, read ? windows_dir : nullptr))
      ProgramFilesFromWindowsDir(folder, cap, nullptr);
  }
  // A Program Files folder too long to take the sub-path is never cut short:
  // the default drive's takes its place, so the result is always a whole path.
  if (!AppendPathPart(folder, cap, sub_path)) {
    ProgramFilesFromWindowsDir(folder, cap, nullptr);
    AppendPathPart(folder, cap, sub_path);
  }
  return 0;
}
