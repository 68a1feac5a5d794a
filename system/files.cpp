#include "system/files.h"

#include <windows.h>

#include <cstring>

#include "system/path_utils.h"
#include "system/text.h"

namespace {

constexpr size_t kTreeArea = 2048;

struct TreeWalk {
  LeftBehind left_behind;  // null: stop at the first item that stays
  void* user;
  int whole;  // every item went or was handed to left_behind
};

// An item that could not be deleted. 1 when the walk may go on past it.
int Stays(TreeWalk* walk, const char* path) {
  if (!walk->left_behind) return 0;
  // Gone all the same (deleted meanwhile, or never there): nothing to hand over.
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && !walk->left_behind(walk->user, path)) walk->whole = 0;
  return 1;
}

int DeleteTreeIn(char* path, size_t len, TreeWalk* walk);

// One item with the given attributes: a file, or a link of any kind (a reparse
// point) as itself, since what a link points to may lie outside the tree and
// is never entered; a folder with its contents. Whether it went.
int DeleteItem(char* path, DWORD attributes, TreeWalk* walk) {
  // Users and sync tools mark files read-only; the removal takes them all the same.
  if (attributes & FILE_ATTRIBUTE_READONLY) ClearReadOnly(path);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path) != 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryA(path) != 0;
  return DeleteTreeIn(path, strlen(path), walk);
}

// `path` holds the folder (len characters) in a kTreeArea buffer shared by
// every level, so that deep trees cost little stack. The enumeration starts
// afresh after every item, so none is open while the folder changes; the
// items that stayed come first in it (enumeration order does not change
// when items go), and are passed over. Returns whether the folder itself went.
int DeleteTreeIn(char* path, size_t len, TreeWalk* walk) {
  for (size_t stayed = 0;;) {
    path[len] = '\0';
    if (!AppendPathPart(path, kTreeArea, "*.*")) break;
    WIN32_FIND_DATAA item;
    HANDLE find = FindFirstFileA(path, &item);
    path[len] = '\0';
    if (find == INVALID_HANDLE_VALUE) break;
    int found = 0;
    size_t passed = 0;
    do {
      // Folders whose names begin with a dot ("." and ".." among them) stay untouched.
      if ((item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && item.cFileName[0] == '.') {
        if (item.cFileName[1] != '\0' && (item.cFileName[1] != '.' || item.cFileName[2] != '\0')) walk->whole = 0;
        continue;
      }
      if (passed++ == stayed) {
        found = 1;
        break;
      }
    } while (FindNextFileA(find, &item));
    FindClose(find);
    if (!found) break;
    if (!AppendPathPart(path, kTreeArea, item.cFileName)) {
      walk->whole = 0;
      break;
    }
    const DWORD attributes = item.dwFileAttributes;
    if (!DeleteItem(path, attributes, walk)) {
      // A sub-folder that stayed was handed over by its own walk already.
      int go_on = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                      ? walk->left_behind != nullptr
                      : Stays(walk, path);
      if (!go_on) break;
      ++stayed;
    }
    path[len] = '\0';
  }
  path[len] = '\0';
  ClearReadOnly(path);
  if (RemoveDirectoryA(path)) return 1;
  Stays(walk, path);
  return 0;
}

int DeleteTree(const char* folder, TreeWalk* walk) {
  char path[kTreeArea];
  // A folder whose pattern would not fit is refused before anything is touched.
  if (!folder || strlen(folder) + sizeof "\\*.*" > kTreeArea) return 0;
  CopyText(path, sizeof path, folder);
  // A folder given as a link goes as a link too, never its contents: whoever
  // could put it there chose what it points to. Asked without a trailing
  // backslash, which would name what lies behind the link.
  size_t len = strlen(path);
  while (len > 3 && path[len - 1] == '\\') path[--len] = '\0';
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (!DeleteItem(path, attributes, walk)) Stays(walk, path);
  } else {
    DeleteTreeIn(path, len, walk);
  }
  return 1;
}

int MakeOneFolder(void* failure, const char* folder) {
  if (CreateDirectoryA(folder, nullptr)) return 1;
  const DWORD error = GetLastError();
  // ERROR_ALREADY_EXISTS also stands for a file of that name: only a folder will do.
  DWORD attributes = error == ERROR_ALREADY_EXISTS ? GetFileAttributesA(folder) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 1;
  NoteFileFailure(static_cast<FileFailure*>(failure), folder, error);
  return 0;
}

}  // namespace

int DeleteFolderTree(const char* folder) {
  TreeWalk walk = {nullptr, nullptr, 1};
  return DeleteTree(folder, &walk);
}

int DeleteFolderTreeOr(const char* folder, LeftBehind left_behind, void* user) {
  TreeWalk walk = {left_behind, user, 1};
  return DeleteTree(folder, &walk) && walk.whole;
}

int MakeFolderPath(const char* path, FileFailure* failure) {
  return WalkFolderPath(path, MakeOneFolder, failure);
}

int WriteWholeFile(const char* path, const void* bytes, uint32_t length) {
  ClearReadOnly(path);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes, length, &written, nullptr);
  // The caller names the system's reason: closing must not overwrite it.
  const DWORD error = ok ? ERROR_HANDLE_DISK_FULL : GetLastError();
  CloseHandle(file);
  if (ok && written == length) return 1;
  SetLastError(error);
  return 0;
}

int FileHoldsBytes(const char* path, const void* bytes, uint32_t length) {
  // Read-only, sharing everything: the holder of the file must not notice.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  int same = GetFileSize(file, &high) == length && high == 0;
  const uint8_t* expected = static_cast<const uint8_t*>(bytes);
  uint8_t piece[4096];
  for (uint32_t at = 0; same && at < length;) {
    DWORD want = length - at < sizeof piece ? length - at : sizeof piece;
    DWORD got = 0;
    same = ReadFile(file, piece, want, &got, nullptr) && got == want && memcmp(piece, expected + at, got) == 0;
    at += got;
  }
  CloseHandle(file);
  return same;
}

int ClearReadOnly(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if (!(attributes & FILE_ATTRIBUTE_READONLY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 1;
  // The folder mark cannot be set, and no attribute at all would mean "unchanged".
  DWORD keep = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  return SetFileAttributesA(path, keep ? keep : FILE_ATTRIBUTE_NORMAL) != 0;
}

void NoteFileFailure(FileFailure* failure, const char* path, uint32_t error) {
  if (!failure || failure->path[0]) return;
  if (!CopyText(failure->path, sizeof failure->path, path)) failure->path[0] = '\0';
  failure->error = error;
}

namespace {

constexpr DWORD kCopyPiece = 8192;

// Whether dest is the very file that source is open on (a reinstall run from
// the uninstaller copy): the same volume and the same file index.
int IsSameFile(HANDLE source, const char* dest) {
  HANDLE other = CreateFileA(dest, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (other == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  int same = GetFileInformationByHandle(source, &a) && GetFileInformationByHandle(other, &b) &&
             a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
             a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}

// Reads exactly want bytes at the file's current position.
int ReadPiece(HANDLE file, uint8_t* piece, DWORD want) {
  DWORD got = 0;
  return ReadFile(file, piece, want, &got, nullptr) && got == want;
}

// source (size bytes from its start) into the empty file to, then both read
// back from their starts and compared. 0 with the last error set, or with 0
// as the last error when the bytes read back differ.
int WriteAndCompare(HANDLE source, HANDLE to, DWORD size) {
  uint8_t piece[kCopyPiece];
  uint8_t back[kCopyPiece];
  if (SetFilePointer(source, 0, nullptr, FILE_BEGIN) != 0) return 0;
  for (DWORD at = 0; at < size;) {
    const DWORD want = size - at < kCopyPiece ? size - at : kCopyPiece;
    DWORD written = 0;
    if (!ReadPiece(source, piece, want)) return 0;
    if (!WriteFile(to, piece, want, &written, nullptr)) return 0;
    if (written != want) {
      SetLastError(ERROR_HANDLE_DISK_FULL);
      return 0;
    }
    at += want;
  }
  if (!FlushFileBuffers(to)) return 0;
  DWORD high = 0;
  const DWORD written_size = GetFileSize(to, &high);
  if (written_size == INVALID_FILE_SIZE) return 0;
  if (written_size != size || high != 0) {
    SetLastError(0);
    return 0;
  }
  if (SetFilePointer(source, 0, nullptr, FILE_BEGIN) != 0 || SetFilePointer(to, 0, nullptr, FILE_BEGIN) != 0)
    return 0;
  for (DWORD at = 0; at < size;) {
    const DWORD want = size - at < kCopyPiece ? size - at : kCopyPiece;
    if (!ReadPiece(source, piece, want) || !ReadPiece(to, back, want)) return 0;
    if (memcmp(piece, back, want) != 0) {
      SetLastError(0);
      return 0;
    }
    at += want;
  }
  return 1;
}

}  // namespace

int CopyWholeFile(void* source, const char* dest, FileFailure* failure) {
  if (!source) {
    NoteFileFailure(failure, dest, ERROR_INVALID_HANDLE);
    return 0;
  }
  char part[1024];
  if (!CopyText(part, sizeof part, dest) || !AppendText(part, sizeof part, ".new")) {
    NoteFileFailure(failure, dest, ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  if (IsSameFile(source, dest)) return 1;
  DWORD high = 0;
  const DWORD size = GetFileSize(source, &high);
  if (size == INVALID_FILE_SIZE || high != 0) {
    NoteFileFailure(failure, dest, high ? ERROR_FILE_TOO_LARGE : GetLastError());
    return 0;
  }
  ClearReadOnly(part);
  HANDLE to = CreateFileA(part, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
  if (to == INVALID_HANDLE_VALUE) {
    NoteFileFailure(failure, dest, GetLastError());
    return 0;
  }
  int whole = WriteAndCompare(static_cast<HANDLE>(source), to, size);
  DWORD error = whole ? 0 : GetLastError();
  CloseHandle(to);
  if (whole) {
    ClearReadOnly(dest);
    whole = MoveFileExA(part, dest, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!whole) error = GetLastError();
  }
  if (!whole) {
    DeleteFileA(part);
    NoteFileFailure(failure, dest, error);
    return 0;
  }
  SetFileAttributesA(dest, FILE_ATTRIBUTE_NORMAL);
  return 1;
}

int FileExists(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(file);
  return 1;
}

void CloseHandleIfSet(void* handle) {
  if (handle != nullptr) CloseHandle(handle);
}
