// In-place path cutters and the root rule of MakeFolderPath. Pure: no windows.h.
#pragma once
#include <cstddef>

// Keeps what stands before the last backslash.
void CutAtLastBackslash(char* path);
// Keeps what stands after the last backslash.
void KeepFileName(char* path);

// MakeFolderPath's working area: paths up to 1023 characters.
constexpr size_t FOLDER_PATH_AREA = 1024;

// Where the root of a path ends, scanning from its third character: the
// backslash after "C:", or for \\server\share the backslash after the share;
// the length of the path when the root runs to its end.
size_t FolderPathRootEnd(const char* path);

// MakeFolderPath without the file system: calls make() on every folder below
// the root, shortest first, stopping at the first that returns 0. 0 when no
// path is given, it is shorter than 5 characters or longer than the working
// area (nothing made), or make() failed; else 1.
int WalkFolderPath(const char* path, int (*make)(void* user, const char* folder), void* user);
