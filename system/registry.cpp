// Registry helpers over the ANSI registry functions. No registry view is asked
// for: the 32-bit program sees the 32-bit view of HKLM\SOFTWARE on 64-bit Windows.
#include "system/registry.h"

#include <cstring>

#include "system/ansi_path.h"
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

int WriteMachineDword(const char* key_path, const char* value_name, uint32_t value) {
  DWORD data = value;
  return SetValue(HKEY_LOCAL_MACHINE, key_path, value_name, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                  sizeof(data));
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

int ReadUserPath(const char* key_path, const char* value_name, char* out, uint32_t out_size) {
  if (!out || out_size == 0) return 0;
  out[0] = '\0';
  // Read wide: the ANSI read would hand over "Łukasz" as "Lukasz", another folder.
  wchar_t wide_key[512], wide_name[128];
  if (!WideFromAnsi(key_path, wide_key, 512) || !WideFromAnsi(value_name, wide_name, 128))
    return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wide_key, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  wchar_t area[QUERY_AREA / sizeof(wchar_t) + 1];
  DWORD type = 0;
  DWORD length = QUERY_AREA;
  LONG status = RegQueryValueExW(key, wide_name, nullptr, &type, reinterpret_cast<BYTE*>(area), &length);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
  // As in ReadUserString: the text ends at the first NUL or with the data.
  area[length / sizeof(wchar_t)] = L'\0';
  return AnsiPathFromWide(area, out, out_size);
}

namespace {

// Sub-keys are named wide, as found: an ANSI enumeration hands a name outside
// the code page over as a look-alike or with '?', which opens another key or none.
int RemoveTreeW(HKEY parent, const wchar_t* key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, key_path, 0, TREE_ACCESS, &key) != ERROR_SUCCESS) return 0;
  int result = 1;
  for (;;) {
    wchar_t name[SUBKEY_NAME_AREA];
    DWORD name_length = SUBKEY_NAME_AREA - 1;
    // Always index 0: each sub-key found is gone before the next question.
    LONG status = RegEnumKeyExW(key, 0, name, &name_length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
      // A sub-key that stays would come back at index 0 for ever: stop here.
      if (!RemoveTreeW(key, name)) {
        result = 0;
        break;
      }
      continue;
    }
    if (status == ERROR_NO_MORE_ITEMS) {
      if (RegDeleteKeyW(parent, key_path) != ERROR_SUCCESS) result = 0;
    } else {
      // The key stays, so the caller must not take it for removed.
      result = 0;
    }
    break;
  }
  RegCloseKey(key);
  return result;
}

}  // namespace

int RemoveRegistryTree(HKEY parent, const char* key_path) {
  wchar_t wide[SUBKEY_NAME_AREA];
  return WideFromAnsi(key_path, wide, SUBKEY_NAME_AREA) && RemoveTreeW(parent, wide);
}

int MachineValueExists(const char* key_path, const char* value_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  LONG status = RegQueryValueExA(key, value_name, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

namespace {

// One reading of a value, whatever its type; data is on the process heap.
struct ValueRead {
  LONG status;
  DWORD type;
  DWORD size;
  BYTE* data;
};

// The value may grow between the question of its size and the reading: then
// it is asked again, a few times.
ValueRead ReadWholeValue(HKEY key, const wchar_t* name) {
  HANDLE heap = GetProcessHeap();
  ValueRead read = {ERROR_SUCCESS, 0, 0, nullptr};
  read.status = RegQueryValueExW(key, name, nullptr, &read.type, nullptr, &read.size);
  for (int tries = 0; read.status == ERROR_SUCCESS || read.status == ERROR_MORE_DATA; ++tries) {
    if (read.data) HeapFree(heap, 0, read.data);
    read.data = static_cast<BYTE*>(HeapAlloc(heap, 0, read.size ? read.size : 1));
    if (!read.data) {
      read.status = ERROR_OUTOFMEMORY;
      break;
    }
    read.status = RegQueryValueExW(key, name, nullptr, &read.type, read.data, &read.size);
    if (read.status != ERROR_MORE_DATA || tries == 3) break;
  }
  return read;
}

bool SameValue(const ValueRead& a, const ValueRead& b) {
  return a.status == b.status && a.type == b.type && a.size == b.size &&
         (a.status != ERROR_SUCCESS || memcmp(a.data, b.data, a.size) == 0);
}

enum PassResult { PASS_DONE, PASS_CHANGED, PASS_WROTE, PASS_FAILED };

// The registry has no compare-and-swap: a program that writes the value between
// our last reading and our write loses its change. Programs schedule in bursts
// (MoveFileEx per file), so the value must first stay unchanged for a while: a
// burst is waited out, and the last gap is one call to the registry long.
constexpr DWORD PENDING_QUIET_MS = 50;
constexpr int PENDING_PASSES = 40;

// One pass over the value: read it, withdraw ours from a copy, read it again
// after the quiet time and write only over the very value that was edited.
PassResult WithdrawPass(HKEY key, const wchar_t* name, const char16_t* folder) {
  HANDLE heap = GetProcessHeap();
  ValueRead read = ReadWholeValue(key, name);
  ValueRead again = {ERROR_SUCCESS, 0, 0, nullptr};
  BYTE* edited = nullptr;
  size_t size = read.size;
  PassResult result = PASS_FAILED;
  if (read.status == ERROR_FILE_NOT_FOUND) {
    result = PASS_DONE;
  } else if (read.status == ERROR_MORE_DATA) {
    result = PASS_CHANGED;  // still growing after a few questions
  } else if (read.status == ERROR_SUCCESS && (edited = static_cast<BYTE*>(HeapAlloc(heap, 0, size ? size : 1)))) {
    memcpy(edited, read.data, size);
    PendingEdit edit = WithdrawPendingDeletions(edited, &size, folder);
    if (edit == PENDING_KEEP) {
      result = PASS_DONE;
    } else {
      Sleep(PENDING_QUIET_MS);
      again = ReadWholeValue(key, name);
      // Changed meanwhile: the next pass edits the new value.
      if (!SameValue(read, again)) {
        result = PASS_CHANGED;
      } else if (edit == PENDING_DELETE) {
        result = RegDeleteValueW(key, name) == ERROR_SUCCESS ? PASS_WROTE : PASS_FAILED;
      } else {
        result = RegSetValueExW(key, name, 0, read.type, edited, static_cast<DWORD>(size)) == ERROR_SUCCESS
                     ? PASS_WROTE
                     : PASS_FAILED;
      }
    }
  }
  if (edited) HeapFree(heap, 0, edited);
  if (read.data) HeapFree(heap, 0, read.data);
  if (again.data) HeapFree(heap, 0, again.data);
  return result;
}

}  // namespace

int WithdrawRestartDeletions(const char* folder) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "registry text units are 16-bit");
  static const wchar_t SESSION_MANAGER[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static const wchar_t PENDING[] = L"PendingFileRenameOperations";
  // Wide, both ways: the value holds other programs' paths, which an ANSI
  // round trip would change wherever they leave the code page.
  wchar_t wide_folder[1024];
  if (!WideFromAnsi(folder, wide_folder, 1024)) return 0;
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return 1;
  if (status != ERROR_SUCCESS) return 0;
  PassResult pass = PASS_CHANGED;
  for (int i = 0; i < PENDING_PASSES && (pass == PASS_CHANGED || pass == PASS_WROTE); ++i) {
    // After a write, a program that read the value before it may still write
    // its older copy back, ours included: the next pass looks once it could have.
    if (pass == PASS_WROTE) Sleep(PENDING_QUIET_MS);
    pass = WithdrawPass(key, PENDING, reinterpret_cast<const char16_t*>(wide_folder));
  }
  RegCloseKey(key);
  return pass == PASS_DONE;
}
