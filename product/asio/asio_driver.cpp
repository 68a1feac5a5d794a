// ASIO driver stand-in. Each of the six builds registers a COM class of its own
// (HKCR\CLSID\{...}\InprocServer32 = this DLL) and an entry under
// HKLM\SOFTWARE\ASIO, and removes both again when unregistered.
#include <windows.h>
#include <olectl.h>
#include <cstdio>

#include "standin_win.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const AsioStandin& Self() { return ASIO_STANDINS[QV_STANDIN_INDEX]; }

void ModulePath(char* out, DWORD size) {
  DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), out, size);
  if (length == 0 || length >= size) out[0] = '\0';
}

// Writes one REG_SZ value, creating the key; 1 on success.
int SetString(HKEY root, const char* key_path, const char* name, const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, key_path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(lstrlenA(text) + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// Test switch: QV_ASIO_FAIL names this DLL.
int ToldToFail() {
  char path[MAX_PATH];
  ModulePath(path, sizeof(path));
  return StandinEnvNames(QV_ENV_ASIO_FAIL, path);
}

void Report(const char* action, HRESULT result) {
  char line[256];
  snprintf(line, sizeof(line), "%s %s %s", Self().stem, action, result == S_OK ? "ok" : "failed");
  StandinLog(line);
}

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT result = SELFREG_E_CLASS;
  char path[MAX_PATH];
  char clsid_key[128];
  char inproc_key[160];
  char asio_key[128];
  ModulePath(path, sizeof(path));
  snprintf(clsid_key, sizeof(clsid_key), "CLSID\\%s", Self().clsid);
  snprintf(inproc_key, sizeof(inproc_key), "%s\\InprocServer32", clsid_key);
  snprintf(asio_key, sizeof(asio_key), "SOFTWARE\\ASIO\\%s", Self().stem);
  if (!ToldToFail() && path[0] &&
      SetString(HKEY_CLASSES_ROOT, clsid_key, nullptr, Self().stem) &&
      SetString(HKEY_CLASSES_ROOT, inproc_key, nullptr, path) &&
      SetString(HKEY_CLASSES_ROOT, inproc_key, "ThreadingModel", "Apartment") &&
      SetString(HKEY_LOCAL_MACHINE, asio_key, "CLSID", Self().clsid) &&
      SetString(HKEY_LOCAL_MACHINE, asio_key, "Description", Self().stem)) {
    result = S_OK;
  }
  Report("register", result);
  return result;
}

STDAPI DllUnregisterServer() {
  HRESULT result = SELFREG_E_CLASS;
  if (!ToldToFail()) {
    char clsid_key[128];
    char inproc_key[160];
    char asio_key[128];
    snprintf(clsid_key, sizeof(clsid_key), "CLSID\\%s", Self().clsid);
    snprintf(inproc_key, sizeof(inproc_key), "%s\\InprocServer32", clsid_key);
    snprintf(asio_key, sizeof(asio_key), "SOFTWARE\\ASIO\\%s", Self().stem);
    // Keys already gone are fine: unregistering twice is not an error.
    RegDeleteKeyA(HKEY_CLASSES_ROOT, inproc_key);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, clsid_key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, asio_key);
    result = S_OK;
  }
  Report("unregister", result);
  return result;
}
