// File and folder helpers over the Windows ANSI file functions. 1 = success.
#pragma once
#include <cstdint>

// Removes the folder and everything below it, as far as it can; a link inside
// (any reparse point) is removed as a link, never entered. Stops at the first
// item that cannot be deleted. 1, or 0 for a path too long to walk.
int DeleteFolderTree(const char* folder);
// What cannot be deleted now (a file in use, a link that will not go, then the
// folders that hold them); 1 when it was taken care of otherwise.
typedef int (*LeftBehind)(void* user, const char* path);
// DeleteFolderTree that hands every item that stays to left_behind and goes on
// past it, contents before their folder. 1 when every item went or was taken
// care of (folders whose names begin with a dot never are).
int DeleteFolderTreeOr(const char* folder, LeftBehind left_behind, void* user);
int MakeFolderPath(const char* path);
// Creates or replaces the file (a read-only mark on it is taken off first) with
// normal attributes.
int WriteWholeFile(const char* path, const void* bytes, uint32_t length);
int FileExists(const char* path);
// 1 when the file holds exactly these bytes (read while others hold it open).
int FileHoldsBytes(const char* path, const void* bytes, uint32_t length);
// Takes the read-only mark off a file or folder so that it can be deleted or
// replaced. A link (reparse point) is left as it is: setting its attributes
// would set its target's. 1 when nothing read-only is left in the way.
int ClearReadOnly(const char* path);
// Closes a kernel handle unless it is null.
void CloseHandleIfSet(void* handle);
