// ASIO driver registration: the DLLs of our own width are loaded and call their
// self-registration entry points; on 64-bit Windows the 64-bit ones go through
// "hcregsvr64.exe", one run per DLL. Nothing is reported: each row stands alone.
#include "procedures/asio.h"

#include <objbase.h>

#include "system/text.h"
#include "system/wait.h"

namespace {

struct AsioDriverRow {
  const char* dll32;
  const char* dll64;
};

const AsioDriverRow ASIO_DRIVER_SET[3] = {
    {"hcqv_asiodriver.dll", "hcqv_asiodriver64.dll"},
    {"hcqvaux_asiodriver.dll", "hcqvaux_asiodriver64.dll"},
    {"hcqvins_asiodriver.dll", "hcqvins_asiodriver64.dll"},
};

const char REGSVR64_FILE[] = "hcregsvr64.exe";
const char SWITCH_UNREGISTER[] = " -u ";
const char SWITCH_FILE[] = " -f";
constexpr DWORD PAUSE_AFTER_CALL_MS = 50;
constexpr size_t PATH_SIZE = 1024;

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA as the 32-bit program passes it");
#endif

using SelfRegisterFn = HRESULT(STDAPICALLTYPE*)();

#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// Loads by full path so that a DLL the driver needs beside it is found even
// though the process restricts its default DLL search to System32.
HMODULE LoadDriverDll(const char* path) { return LoadLibraryExA(path, nullptr, DriverDllLoadFlags(GetProcAddress)); }

SelfRegisterFn FindEntry(HMODULE module, const char* name) {
  // GetProcAddress hands back a generic pointer; the entry's real type is
  // STDAPI HRESULT (void), stdcall on 32-bit.
  return reinterpret_cast<SelfRegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

DWORD DriverDllLoadFlags(FARPROC(WINAPI* get_proc_address)(HMODULE, LPCSTR)) {
  // Only the driver's own folder and System32: the default directories would
  // add this program's folder, typically a downloads folder, where a planted
  // DLL would be loaded into this elevated process for a driver's dependency.
  // The LOAD_LIBRARY_SEARCH flags came with AddDllDirectory (Windows 8, and
  // Vista/7 with the loader update); an older loader ignores them instead of
  // refusing them, and would search this program's folder first. There the
  // altered search path starts from the DLL's own folder instead.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  bool search_flags = kernel && get_proc_address(kernel, "AddDllDirectory");
  return search_flags ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH;
}

int RegisterDll(const char* path) {
  HMODULE module = LoadDriverDll(path);
  if (!module) return 0;
  SelfRegisterFn entry = FindEntry(module, "DllRegisterServer");
  if (!entry) {
    FreeLibrary(module);
    return 0;
  }
  HRESULT status = entry();
  CoFreeLibrary(module);
  if (status != S_OK) return 0;
  Sleep(PAUSE_AFTER_CALL_MS);
  return 1;
}

int UnregisterDll(const char* path) {
  HMODULE module = LoadDriverDll(path);
  if (!module) return 0;
  SelfRegisterFn entry = FindEntry(module, "DllUnregisterServer");
  if (!entry) {
    FreeLibrary(module);
    return 0;
  }
  entry();  // whatever it says, the DLL had its say
  CoFreeLibrary(module);
  Sleep(PAUSE_AFTER_CALL_MS);
  return 1;
}

void RegisterAsio64(SetupContext* context, int32_t do_register) {
  char program[PATH_SIZE];
  if (!JoinPath(program, sizeof(program), context->install_folder, REGSVR64_FILE)) return;
  for (const AsioDriverRow& row : ASIO_DRIVER_SET) {
    // Unquoted and without the program name in front: the program reads the
    // path as everything after " -f".
    char command[PATH_SIZE];
    command[0] = '\0';
    if (!do_register && !AppendText(command, sizeof(command), SWITCH_UNREGISTER)) continue;
    if (!AppendText(command, sizeof(command), SWITCH_FILE) ||
        !AppendText(command, sizeof(command), context->install_folder) ||
        !AppendPathPart(command, sizeof(command), row.dll64)) {
      continue;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Started in the product folder, as the driver setup programs are: the
    // folder this program was started from is often a downloads folder.
    if (!CreateProcessA(program, command, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        context->install_folder, &startup, &process)) {
      continue;
    }
    if (process.hThread) CloseHandle(process.hThread);
    if (!process.hProcess) continue;
    // A run that hangs is left running; the next row does not wait longer.
    WaitAnsweringSentMessages(process.hProcess, REGSVR64_WAIT_MS);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
  }
}

void RegisterAsioDrivers(SetupContext* context, int32_t do_register) {
  for (const AsioDriverRow& row : ASIO_DRIVER_SET) {
    char path[PATH_SIZE];
    if (!JoinPath(path, sizeof(path), context->install_folder, row.dll32)) continue;
    if (do_register) {
      RegisterDll(path);
    } else {
      UnregisterDll(path);
    }
  }
  if (!context->is_wow64) return;
  RegisterAsio64(context, do_register);
}
