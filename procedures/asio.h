// ASIO driver registration: in process for the 32-bit DLLs, through
// "hcregsvr64.exe" for the 64-bit ones on 64-bit Windows.
#pragma once
#include <cstdint>
#include "startup/context.h"

constexpr DWORD REGSVR64_WAIT_MS = 10000;

void RegisterAsioDrivers(SetupContext* context, int32_t do_register);
int RegisterDll(const char* path);
int UnregisterDll(const char* path);
void RegisterAsio64(SetupContext* context, int32_t do_register);
// The LoadLibraryExA flags for a driver DLL, chosen by whether kernel32 exports
// AddDllDirectory, asked through get_proc_address (GetProcAddress, or a test's).
DWORD DriverDllLoadFlags(FARPROC(WINAPI* get_proc_address)(HMODULE, LPCSTR));
