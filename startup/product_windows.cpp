// Telling the product's running programs to go before the install or removal
// replaces their files.
#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <type_traits>

#include "package/package_walk.h"
#include "startup/environment_hooks.h"
#include "startup/startup.h"
#include "system/ansi_path.h"

namespace {

// Vista's, looked up at run time; the headers declare it only for Vista on.
// Its prototype in kernel32: BOOL WINAPI (HANDLE, DWORD, LPWSTR, PDWORD).
using QueryFullProcessImageNameWFn = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPWSTR name, PDWORD size);
// psapi's, for the systems before Vista.
using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPWSTR name, DWORD size);
static_assert(std::is_same<GetModuleFileNameExWFn, decltype(&::GetModuleFileNameExW)>::value, "psapi prototype");

struct Closing {
  const char* prefix;
  const PackageDirectory* programs;
  QueryFullProcessImageNameWFn query_image;
  GetModuleFileNameExWFn module_file_name;
};

// The file that process pid runs from; 0 when it cannot be read (a process of
// another user or a higher level, say).
int ProcessImage(const Closing* closing, DWORD pid, wchar_t* out, DWORD cap) {
  HANDLE process = nullptr;
  int read = 0;
  if (closing->query_image != nullptr) {
    // The limited right is enough here, and is granted for more processes.
    process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    DWORD size = cap;
    read = process != nullptr && closing->query_image(process, 0, out, &size) && size < cap;
  } else if (closing->module_file_name != nullptr) {
    process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    DWORD n = process != nullptr ? closing->module_file_name(process, nullptr, out, cap) : 0;
    read = n > 0 && n < cap;
  }
  if (process != nullptr) CloseHandle(process);
  return read;
}

const wchar_t* FileNamePart(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* at = path; *at; ++at)
    if (*at == L'\\' || *at == L'/') name = at + 1;
  return name;
}

// Whether the image's file name is that of a package entry ending in ".exe",
// whatever folder either stands in.
int IsProductProgram(const PackageDirectory* programs, const wchar_t* image) {
  const wchar_t* image_name = FileNamePart(image);
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    char entry[PACKAGE_NAME_SIZE + 1];
    CopyEntryName(&programs->entries[i], entry);
    wchar_t wide[PACKAGE_NAME_SIZE + 1];
    if (!WideFromAnsi(entry, wide, PACKAGE_NAME_SIZE + 1)) continue;
    const wchar_t* name = FileNamePart(wide);
    const size_t length = wcslen(name);
    if (length > 4 && SameFileName(name + length - 4, L".exe") && SameFileName(name, image_name)) return 1;
  }
  return 0;
}

// A title prefix also matches other programs' windows (an editor holding
// "QuorVane-notes.txt"), which are never told anything. The product's own
// windows quit on WM_DESTROY, also those that only hide on WM_CLOSE.
BOOL CALLBACK DestroyIfProductWindow(HWND window, LPARAM closing_param) {
  const Closing* closing = reinterpret_cast<const Closing*>(closing_param);
  char title[512];
  title[0] = '\0';
  GetWindowTextA(window, title, sizeof title);
  if (strncmp(title, closing->prefix, strlen(closing->prefix)) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t image[1024];
  if (pid != 0 && ProcessImage(closing, pid, image, sizeof image / sizeof image[0]) &&
      IsProductProgram(closing->programs, image))
    PostMessageA(window, WM_DESTROY, 0, 0);
  return TRUE;
}

}  // namespace

BOOL CloseWindowsByTitle(const char* prefix, const PackageDirectory* programs) {
  // Without the package's names no program is known to be the product's.
  if (programs == nullptr) return TRUE;
  Closing closing = {prefix, programs, nullptr, nullptr};
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel != nullptr)
    closing.query_image = reinterpret_cast<QueryFullProcessImageNameWFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameW")));
  HMODULE psapi = nullptr;
  if (closing.query_image == nullptr && (psapi = LoadSystemLibrary("psapi.dll")) != nullptr)
    closing.module_file_name = reinterpret_cast<GetModuleFileNameExWFn>(
        reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleFileNameExW")));
  BOOL result = EnumWindows(DestroyIfProductWindow, reinterpret_cast<LPARAM>(&closing));
  if (psapi != nullptr) FreeLibrary(psapi);
  return result;
}
