// In-place path cutters and the root rule of MakeFolderPath. Pure: no windows.h.
#pragma once

// Keeps what stands before the last backslash.
void CutAtLastBackslash(char* path);
// Keeps what stands after the last backslash.
void KeepFileName(char* path);
