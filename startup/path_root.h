// Path-root cutting for the Program Files fallback. Pure: no windows.h.
#pragma once
#include <cstddef>

// Cuts the path right after its root backslash; 1 when cut, 0 when unchanged.
int KeepPathRoot(char* path);
// The Program Files fallback from the Windows directory: root of windows_dir
// (or "C:" when windows_dir is null), then "\Program Files\", exactly one
// backslash between them. 1 on success, 0 when it does not fit.
int ProgramFilesFromWindowsDir(char* out, size_t cap, const char* windows_dir);
