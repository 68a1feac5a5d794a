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
int ResolveInstallFolder(SetupContext* context, const char* sub_path);
