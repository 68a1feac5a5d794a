// A DLL planted beside a program under the name of a system DLL. If it is ever
// loaded, it leaves NAME.DLL-was-loaded beside its own file.
#include <windows.h>

#include <cstring>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      strcat(path, "-was-loaded");
      HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI SHGetFolderPathA(HWND, int, HANDLE, DWORD, LPSTR path) {
  strcpy(path, "C:\\planted");
  return S_OK;
}
