// A driver setup program of the product, run to its end.
#pragma once
#include <windows.h>

#include <cstdint>

// The child's exit code; -605 when it cannot be started, -604 when it was
// started without a process handle.
int32_t RunDriverSetup(const char* application, const char* command_line, const char* directory);
