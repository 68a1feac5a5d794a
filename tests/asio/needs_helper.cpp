// A driver DLL that imports a library from its own folder: it loads only when
// the loader looks there.
#include <windows.h>

extern "C" __declspec(dllimport) int QvAsioHelperValue();

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  return QvAsioHelperValue() == 42 ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return QvAsioHelperValue() == 42 ? S_OK : E_FAIL;
}
