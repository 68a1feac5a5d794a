// A stand-in for SHELL32.DLL / SHFOLDER.DLL that the environment tests load
// through the library seam. Each CSIDL's answer comes from an environment
// variable: FAKESHELL_SPECIAL_<csidl> for SHGetSpecialFolderPathA and
// FAKESHELL_FOLDER_<csidl> for SHGetFolderPathA; missing or "FAIL" fails.
#include <windows.h>

#include <cstdio>
#include <cstring>

static LONG g_calls;

static bool Answer(const char* kind, int csidl, char* out) {
  char name[64], value[MAX_PATH];
  snprintf(name, sizeof name, "FAKESHELL_%s_%d", kind, csidl);
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  if (n == 0 || n >= sizeof value || strcmp(value, "FAIL") == 0) return false;
  strcpy(out, value);
  return true;
}

extern "C" __declspec(dllexport) BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int csidl, BOOL) {
  InterlockedIncrement(&g_calls);
  if (Answer("SPECIAL", csidl, path)) return TRUE;
  strcpy(path, "garbage-left-by-a-failed-call");
  return FALSE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR path) {
  InterlockedIncrement(&g_calls);
  if (Answer("FOLDER", csidl, path)) return S_OK;
  strcpy(path, "garbage-left-by-a-failed-call");
  return E_FAIL;
}

extern "C" __declspec(dllexport) LONG FakeShellCalls() {
  return g_calls;
}
