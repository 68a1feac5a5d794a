// A stand-in for SHELL32.DLL / SHFOLDER.DLL that the environment tests load
// through the library seam. Each CSIDL's answer comes from an environment
// variable: FAKESHELL_SPECIAL_<csidl> for SHGetSpecialFolderPathW and
// FAKESHELL_FOLDER_<csidl> for SHGetFolderPathW; missing or "FAIL" fails.
#include <windows.h>

#include <cwchar>

static LONG g_calls;

static bool Answer(const wchar_t* kind, int csidl, wchar_t* out) {
  wchar_t name[64], value[MAX_PATH];
  swprintf(name, 64, L"FAKESHELL_%ls_%d", kind, csidl);
  DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || wcscmp(value, L"FAIL") == 0) return false;
  wcscpy(out, value);
  return true;
}

extern "C" __declspec(dllexport) BOOL WINAPI SHGetSpecialFolderPathW(HWND, LPWSTR path, int csidl, BOOL) {
  InterlockedIncrement(&g_calls);
  if (Answer(L"SPECIAL", csidl, path)) return TRUE;
  wcscpy(path, L"garbage-left-by-a-failed-call");
  return FALSE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
  InterlockedIncrement(&g_calls);
  if (Answer(L"FOLDER", csidl, path)) return S_OK;
  wcscpy(path, L"garbage-left-by-a-failed-call");
  return E_FAIL;
}

extern "C" __declspec(dllexport) LONG FakeShellCalls() {
  return g_calls;
}
