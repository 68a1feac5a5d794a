// File and folder helpers. Paths come in as the program's ANSI strings, which
// are exact by construction (system/ansi_path.h) and so turn into UTF-16
// unchanged; the helpers work on that wide form, and every name they find on
// disk stays wide: an ANSI function would hand it over as a look-alike
// ("Łódź" as "Lodz", "．．＼" as "..\") and act on another file. 1 = success.
#pragma once
#include <cstdint>

// Another program (a virus scanner, an indexer, a backup tool) may hold a file
// for a moment just after it was written or before it goes; a create, rename or
// delete then fails with a sharing or lock violation, or access denied. Such a
// failure is waited out for about two seconds from the first one, in short
// steps that answer messages sent to the thread. Several operations may share
// one clock, so that all their waits together stay within that bound.
struct RetryClock {
  uint32_t start;
  int running;
};
// After a failed create, rename or delete that failed with error: 1 once a step
// has passed, when the error may pass and the clock has time left; else 0.
int KeepTrying(RetryClock* clock, uint32_t error);

// Removes the folder and everything below it, as far as it can; a link inside
// (any reparse point), or the folder itself when it is one, is removed as a
// link, never entered. Stops at the first item that cannot be deleted. 1, or 0
// for a path too long to walk.
int DeleteFolderTree(const char* folder);
// What cannot be deleted now (a file in use, a link that will not go, then the
// folders that hold them), by its exact name; 1 when it was taken care of otherwise.
typedef int (*LeftBehind)(void* user, const wchar_t* path);
// DeleteFolderTree that hands every item that stays to left_behind and goes on
// past it, contents before their folder. 1 when every item went or was taken
// care of (folders whose names begin with a dot never are). The whole walk
// shares one RetryClock. own_file, when given, is an open file that cannot go
// while this process runs (its own image): met in the folder, it is handed
// over after one try instead of waited on.
int DeleteFolderTreeOr(const char* folder, LeftBehind left_behind, void* user, void* own_file = nullptr);
struct FileFailure;
// Makes every missing folder of path. failure, when given, receives the folder
// that could not be made and the system's reason.
int MakeFolderPath(const char* path, FileFailure* failure = nullptr);
// Removes whatever stands at path as itself: a link (any reparse point) as a
// link, never what it points to; a hard link by this name alone. A read-only
// mark is taken off only a file that has no other name (on one that has, the
// mark is the other names' too), else ERROR_FILE_READ_ONLY; a folder that is
// no link stays (ERROR_ALREADY_EXISTS). 1 when nothing stands at path any more;
// on 0 the reason is the last error. clock: null tries once.
int RemoveFile(const char* path, RetryClock* clock = nullptr);
// Writes the file new: whatever stands at path goes first (RemoveFile), then
// the file is created with CREATE_NEW, so that anything put at the name
// meanwhile (a link) fails the write instead of leading it elsewhere. When
// what stands there cannot go but is a file that holds exactly these bytes (a
// program runs from it), it counts as written. Normal attributes. On 0 the
// system's error code stays the last error. clock: shared with other writes,
// or null for one of its own.
int WriteWholeFile(const char* path, const void* bytes, uint32_t length, RetryClock* clock = nullptr);
int FileExists(const char* path);

// The first write that the machine refused: which file, and the system's error
// code (0 when there was none, as for bytes that read back wrong).
struct FileFailure {
  char path[1024];
  uint32_t error;
};
// Records path and error unless a failure is recorded already (or failure is null).
void NoteFileFailure(FileFailure* failure, const char* path, uint32_t error);

// Makes dest a whole copy of the open file source, read from its start: the
// bytes go to a part file "<dest>.new", created new as WriteWholeFile does,
// which replaces dest only once it has the source's size and reads back equal
// to it, so a run killed meanwhile never leaves a part copy under dest's name.
// dest that is the source file itself counts as whole untouched. Normal
// attributes. 1 when dest is whole; 0 with the failure noted, naming the part
// file when that is what could not be written.
int CopyWholeFile(void* source, const char* dest, FileFailure* failure);

// Closes a kernel handle unless it is null.
void CloseHandleIfSet(void* handle);
