// A library that a driver DLL imports and that lies beside it, not in System32.
// It leaves its own path in QV_ASIO_HELPER_LOADED when loaded, so a test can
// tell which copy the loader took, or that none was taken.
#include <windows.h>

extern "C" __declspec(dllexport) int QvAsioHelperValue() { return 42; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(self, path, MAX_PATH);
    SetEnvironmentVariableA("QV_ASIO_HELPER_LOADED", path);
  }
  return TRUE;
}
