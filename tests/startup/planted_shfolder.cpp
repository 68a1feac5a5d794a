// A DLL planted beside a program under the name of a system DLL. If it is ever
// loaded, it leaves "planted-dll-was-loaded" in its own folder.
#include <windows.h>

#include <cstring>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    char* slash = n ? strrchr(path, '\\') : nullptr;
    if (slash != nullptr && slash - path + 24 < MAX_PATH) {
      strcpy(slash + 1, "planted-dll-was-loaded");
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
