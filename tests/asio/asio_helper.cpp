// A library that a driver DLL imports and that lies beside it, not in System32.
#include <windows.h>

extern "C" __declspec(dllexport) int QvAsioHelperValue() { return 42; }
