// Environment probes and folders.
#pragma once
#include <windows.h>
#include "startup/context.h"

extern const GUID PRODUCT_DEVICE_INTERFACE_GUID;  // {3F9A2C64-7B18-4E5D-A2C7-91D05E3B6F48}
extern const char PRODUCT_SUBFOLDER[];            // "HC\\Quorvane"

int32_t ClassifyOs();
int IsWow64();
HANDLE ProbeProductDevice(GUID interface_class);
void ResolveSpecialFolders();
const char* GetCommonProgramsFolder();
const char* GetStartupFolder();
struct FileFailure;
// install_folder = the Program Files folder, a backslash and sub_path. Where
// the shell names no Program Files folder that the code page holds, the one at
// the root of the Windows drive, but only when it is there. 0, or -3 with
// install_folder empty and failure (when given) naming the missing folder.
int ResolveInstallFolder(SetupContext* context, const char* sub_path, FileFailure* failure = nullptr);
