// Registry helpers over the ANSI registry functions. No registry view is asked
// for: the 32-bit program sees the 32-bit view of HKLM\SOFTWARE on 64-bit Windows.
#include "system/registry.h"

#include <cstring>

#include "system/pending_renames.h"

namespace {

constexpr DWORD QUERY_AREA = 4096;
constexpr DWORD READ_CAP = 4050;
constexpr DWORD SUBKEY_NAME_AREA = 1024;
constexpr REGSAM TREE_ACCESS = DELETE | KEY_ENUMERATE_SUB_KEYS;  // 0x10008

// Opens the key, creating every missing key on the path when it is not there.
HKEY OpenOrCreate(HKEY root, const char* key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyA(root, key_path, &key) == ERROR_SUCCESS) return key;
  key = nullptr;
  if (RegCreateKeyA(root, key_path, &key) == ERROR_SUCCESS) return key;
  return nullptr;
}

int SetValue(HKEY root, const char* key_path, const char* value_name, DWORD type,
             const BYTE* data, DWORD length) {
  HKEY key = OpenOrCreate(root, key_path);
  if (!key) return 0;
  LONG status = RegSetValueExA(key, value_name, 0, type, data, length);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace

int WriteMachineString(const char* key_path, const char* value_name, const char* text) {
  // The length leaves the NUL out; Windows counts the terminator it finds after the data.
  return SetValue(HKEY_LOCAL_MACHINE, key_path, value_name, REG_SZ,
                  reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text)));
}

int WriteUserDword(const char* key_path, const char* value_name, uint32_t value) {
  DWORD data = value;
  return SetValue(HKEY_CURRENT_USER, key_path, value_name, REG_DWORD,
                  reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

int ReadUserString(const char* key_path, const char* value_name, char* out, uint32_t out_size) {
  if (!out || out_size == 0) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, key_path, &key) != ERROR_SUCCESS) return 0;
  char area[QUERY_AREA];
  DWORD type = 0;
  DWORD length = sizeof(area);
  LONG status = RegQueryValueExA(key, value_name, nullptr, &type,
                                 reinterpret_cast<BYTE*>(area), &length);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
  if (length > READ_CAP) length = READ_CAP;
  // The stored bytes need not end in a NUL: the text ends at the first NUL or
  // with the bytes. A text that does not fit the caller's area whole is
  // refused, not cut: a cut folder path names some other folder.
  DWORD text_length = 0;
  while (text_length < length && area[text_length] != '\0') text_length++;
  if (text_length >= out_size) return 0;
  memcpy(out, area, text_length);
  out[text_length] = '\0';
  return 1;
}

int RemoveRegistryTree(HKEY parent, const char* key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, key_path, 0, TREE_ACCESS, &key) != ERROR_SUCCESS) return 0;
  int result = 1;
  for (;;) {
    char name[SUBKEY_NAME_AREA];
    DWORD name_length = SUBKEY_NAME_AREA - 1;
    // Always index 0: each sub-key found is gone before the next question.
    LONG status = RegEnumKeyExA(key, 0, name, &name_length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
      // A sub-key that stays would come back at index 0 for ever: stop here.
      if (!RemoveRegistryTree(key, name)) {
        result = 0;
        break;
      }
      continue;
    }
    if (status == ERROR_NO_MORE_ITEMS) {
      if (RegDeleteKeyA(parent, key_path) != ERROR_SUCCESS) result = 0;
    } else {
      // The key stays, so the caller must not take it for removed.
      result = 0;
    }
    break;
  }
  RegCloseKey(key);
  return result;
}

int MachineValueExists(const char* key_path, const char* value_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  LONG status = RegQueryValueExA(key, value_name, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

int WithdrawRestartDeletions(const char* folder) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "REG_MULTI_SZ units are 16-bit");
  static const wchar_t SESSION_MANAGER[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static const wchar_t PENDING[] = L"PendingFileRenameOperations";
  // Wide, both ways: the value holds other programs' paths, which an ANSI
  // round trip would change wherever they leave the code page.
  wchar_t wide_folder[1024];
  if (!folder || !MultiByteToWideChar(CP_ACP, 0, folder, -1, wide_folder, 1024)) return 0;
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return 1;
  if (status != ERROR_SUCCESS) return 0;
  HANDLE heap = GetProcessHeap();
  BYTE* data = nullptr;
  DWORD type = 0;
  DWORD size = 0;
  status = RegQueryValueExW(key, PENDING, nullptr, &type, nullptr, &size);
  // The value may grow between two questions: ask again with the new size.
  for (int tries = 0; status == ERROR_SUCCESS || status == ERROR_MORE_DATA; ++tries) {
    if (data) HeapFree(heap, 0, data);
    data = static_cast<BYTE*>(HeapAlloc(heap, 0, size ? size : 1));
    if (!data) {
      status = ERROR_OUTOFMEMORY;
      break;
    }
    status = RegQueryValueExW(key, PENDING, nullptr, &type, data, &size);
    if (status != ERROR_MORE_DATA || tries == 3) break;
  }
  int result = status == ERROR_FILE_NOT_FOUND;
  // Anything but whole UTF-16 text of the right type is left as it is.
  if (status == ERROR_SUCCESS && type == REG_MULTI_SZ && size % sizeof(char16_t) == 0) {
    size_t count = size / sizeof(char16_t);
    switch (WithdrawPendingDeletions(reinterpret_cast<char16_t*>(data), &count,
                                     reinterpret_cast<const char16_t*>(wide_folder))) {
      case PENDING_KEEP:
        result = 1;
        break;
      case PENDING_WRITE:
        result = RegSetValueExW(key, PENDING, 0, REG_MULTI_SZ, data,
                                static_cast<DWORD>(count * sizeof(char16_t))) == ERROR_SUCCESS;
        break;
      case PENDING_DELETE:
        result = RegDeleteValueW(key, PENDING) == ERROR_SUCCESS;
        break;
    }
  }
  if (data) HeapFree(heap, 0, data);
  RegCloseKey(key);
  return result;
}
