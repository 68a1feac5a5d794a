// File and folder helpers over the Windows ANSI file functions. 1 = success.
#pragma once
#include <cstdint>

// Removes the folder and everything below it, as far as it can; a link inside
// (any reparse point), or the folder itself when it is one, is removed as a
// link, never entered. Stops at the first item that cannot be deleted. 1, or 0
// for a path too long to walk.
int DeleteFolderTree(const char* folder);
// What cannot be deleted now (a file in use, a link that will not go, then the
// folders that hold them); 1 when it was taken care of otherwise.
typedef int (*LeftBehind)(void* user, const char* path);
// DeleteFolderTree that hands every item that stays to left_behind and goes on
// past it, contents before their folder. 1 when every item went or was taken
// care of (folders whose names begin with a dot never are).
int DeleteFolderTreeOr(const char* folder, LeftBehind left_behind, void* user);
struct FileFailure;
// Makes every missing folder of path. failure, when given, receives the folder
// that could not be made and the system's reason.
int MakeFolderPath(const char* path, FileFailure* failure = nullptr);
// Creates or replaces the file (a read-only mark on it is taken off first) with
// normal attributes. On 0 the system's error code stays the last error.
int WriteWholeFile(const char* path, const void* bytes, uint32_t length);
int FileExists(const char* path);
// 1 when the file holds exactly these bytes (read while others hold it open).
int FileHoldsBytes(const char* path, const void* bytes, uint32_t length);
// Takes the read-only mark off a file or folder so that it can be deleted or
// replaced. A link (reparse point) is left as it is: setting its attributes
// would set its target's. 1 when nothing read-only is left in the way.
int ClearReadOnly(const char* path);

// The first write that the machine refused: which file, and the system's error
// code (0 when there was none, as for bytes that read back wrong).
struct FileFailure {
  char path[1024];
  uint32_t error;
};
// Records path and error unless a failure is recorded already (or failure is null).
void NoteFileFailure(FileFailure* failure, const char* path, uint32_t error);

// Makes dest a whole copy of the open file source, read from its start: the
// bytes go to a temporary file beside dest, which replaces dest only once it
// has the source's size and reads back equal to it, so a run killed meanwhile
// never leaves a part copy under dest's name. dest that is the source file
// itself counts as whole untouched. Normal attributes. 1 when dest is whole;
// 0 with the failure noted.
int CopyWholeFile(void* source, const char* dest, FileFailure* failure);

// Closes a kernel handle unless it is null.
void CloseHandleIfSet(void* handle);
