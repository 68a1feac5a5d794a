#include "system/files.h"

#include <windows.h>

#include <cstring>

#include "system/ansi_path.h"
#include "system/path_utils.h"
#include "system/text.h"
#include "system/wait.h"

#ifndef ERROR_FILE_READ_ONLY
#define ERROR_FILE_READ_ONLY 6009
#endif

// Every name below is acted on between two calls, and whoever can write the
// folder can change what it names meanwhile: a file or link at a name is
// checked and then removed or created as itself, but a folder on the path
// that is swapped for a junction in between would lead the call elsewhere.
// Only the folder's own protection (Program Files, a user's own Start menu)
// keeps that out; this program does not try to.

namespace {

constexpr DWORD kRetryForMs = 2000;
constexpr DWORD kRetryStepMs = 50;
// The longest path a caller hands over (the uninstaller copy, a shortcut).
constexpr size_t kWidePath = 2048;

// Whether the file at path has no other name: a hard link shares its
// attributes with its other names.
int HasOneName(const wchar_t* path) {
  HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  int one = GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
  CloseHandle(file);
  return one;
}

// Takes the read-only mark off what stands at path, with the attributes just
// read, so that it can be deleted or replaced. A link is left as it is (setting
// its attributes would set its target's), and so is a file with other names.
// 1 when nothing read-only of ours is in the way.
int ClearReadOnly(const wchar_t* path, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 1;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && !HasOneName(path)) {
    SetLastError(ERROR_FILE_READ_ONLY);
    return 0;
  }
  // The folder mark cannot be set, and no attribute at all would mean "unchanged".
  DWORD keep = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  return SetFileAttributesW(path, keep ? keep : FILE_ATTRIBUTE_NORMAL) != 0;
}

int ClearReadOnlyAt(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes == INVALID_FILE_ATTRIBUTES || ClearReadOnly(path, attributes);
}

// One try at RemoveFile. absent: what a name that leads nowhere counts as.
// The walk found the name it is given, and a name that it can list but not
// reach (one that Windows alters, ending in a dot, say) is one that stays: as
// gone, it would be found again at the head of every new listing.
int RemoveOnce(const wchar_t* path, int absent = 1) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return absent && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path) : DeleteFileW(path)) != 0;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return 0;
  }
  // Users and sync tools mark files read-only; they go all the same.
  return ClearReadOnly(path, attributes) && DeleteFileW(path);
}

int RemoveRetrying(const wchar_t* path, RetryClock* clock) {
  while (!RemoveOnce(path)) {
    const DWORD error = GetLastError();
    if (!KeepTrying(clock, error)) {
      SetLastError(error);
      return 0;
    }
  }
  return 1;
}

// Creates path, which must not exist (a name made free just before).
HANDLE CreateNew(const wchar_t* path, DWORD access, RetryClock* clock) {
  for (;;) {
    // Not following a reparse point: with it, CREATE_NEW fails on a link put at
    // the name, dangling or not; without it, a dangling link would have its
    // target created wherever it points.
    HANDLE file =
        CreateFileW(path, access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    // A name deleted while another program still holds the file stays taken
    // (access denied) until that program lets go.
    const DWORD error = GetLastError();
    if (!KeepTrying(clock, error)) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
}

// 1 when the file at path (itself, never a link's target) holds exactly these
// bytes; read while others hold it open.
int HoldsBytes(const wchar_t* path, const void* bytes, uint32_t length) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD high = 0;
  int same = GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
             GetFileSize(file, &high) == length && high == 0;
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

// Whether path names the very file that source is open on (the same volume and
// file index): a reinstall run from the uninstaller copy, or that copy met by
// the removal's walk while it runs. A link at path is a file of its own.
int IsSameFile(HANDLE source, const wchar_t* path) {
  HANDLE other = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (other == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  int same = GetFileInformationByHandle(source, &a) && GetFileInformationByHandle(other, &b) &&
             a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
             a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}

constexpr size_t kTreeArea = 2048;

struct TreeWalk {
  LeftBehind left_behind;  // null: stop at the first item that stays
  void* user;
  HANDLE own_file;
  RetryClock clock;
  int whole;  // every item went or was handed to left_behind
};

// An item that could not be deleted. 1 when the walk may go on past it.
int Stays(TreeWalk* walk, const wchar_t* path) {
  if (!walk->left_behind) return 0;
  // Gone all the same (deleted meanwhile, or never there): nothing to hand over.
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES && !walk->left_behind(walk->user, path)) walk->whole = 0;
  return 1;
}

// A file or link in the tree. The program's own running image never goes
// while it runs: it gets one try, not the wait.
int RemoveInWalk(const wchar_t* path, TreeWalk* walk) {
  if (RemoveOnce(path, 0)) return 1;
  DWORD error = GetLastError();
  if (walk->own_file && IsSameFile(walk->own_file, path)) return 0;
  while (KeepTrying(&walk->clock, error)) {
    if (RemoveOnce(path, 0)) return 1;
    error = GetLastError();
  }
  return 0;
}

int DeleteTreeIn(wchar_t* path, size_t len, TreeWalk* walk);

// One item with the given attributes: a file, or a link of any kind (a reparse
// point) as itself, since what a link points to may lie outside the tree and
// is never entered; a folder with its contents. Whether it went.
int DeleteItem(wchar_t* path, DWORD attributes, TreeWalk* walk) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return DeleteTreeIn(path, wcslen(path), walk);
  return RemoveInWalk(path, walk);
}

int IsDot(const wchar_t* name) { return name[0] == L'.'; }

// `path` holds the folder (len characters) in a kTreeArea buffer shared by
// every level, so that deep trees cost little stack. The enumeration starts
// afresh after every item, so none is open while the folder changes; the
// items that stayed come first in it (enumeration order does not change
// when items go), and are passed over. Returns whether the folder itself went.
int DeleteTreeIn(wchar_t* path, size_t len, TreeWalk* walk) {
  size_t stayed = 0;
  for (;;) {
    path[len] = L'\0';
    if (!AppendPathPart(path, kTreeArea, L"*.*")) break;
    WIN32_FIND_DATAW item;
    HANDLE find = FindFirstFileW(path, &item);
    path[len] = L'\0';
    if (find == INVALID_HANDLE_VALUE) break;
    int found = 0;
    size_t passed = 0;
    do {
      // Folders whose names begin with a dot ("." and ".." among them) stay untouched.
      if ((item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsDot(item.cFileName)) {
        if (item.cFileName[1] != L'\0' && (item.cFileName[1] != L'.' || item.cFileName[2] != L'\0')) walk->whole = 0;
        continue;
      }
      if (passed++ == stayed) {
        found = 1;
        break;
      }
    } while (FindNextFileW(find, &item));
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
    path[len] = L'\0';
  }
  path[len] = L'\0';
  ClearReadOnlyAt(path);
  if (RemoveDirectoryW(path)) return 1;
  // With items left in it the folder cannot go, however long one waits.
  for (DWORD error = GetLastError(); !stayed && KeepTrying(&walk->clock, error); error = GetLastError())
    if (RemoveDirectoryW(path)) return 1;
  Stays(walk, path);
  return 0;
}

int DeleteTree(const char* folder, TreeWalk* walk) {
  wchar_t path[kTreeArea];
  // A folder whose pattern would not fit is refused before anything is touched.
  if (!folder || strlen(folder) + sizeof "\\*.*" > kTreeArea || !WideFromAnsi(folder, path, kTreeArea)) return 0;
  // A folder given as a link goes as a link too, never its contents: whoever
  // could put it there chose what it points to. Asked without a trailing
  // backslash, which would name what lies behind the link.
  size_t len = wcslen(path);
  while (len > 3 && path[len - 1] == L'\\') path[--len] = L'\0';
  const DWORD attributes = GetFileAttributesW(path);
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

int KeepTrying(RetryClock* clock, uint32_t error) {
  if (!clock || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED))
    return 0;
  const DWORD now = GetTickCount();
  if (!clock->running) {
    clock->start = now;
    clock->running = 1;
  } else if (now - clock->start >= kRetryForMs) {
    return 0;
  }
  // On the window thread, the window keeps answering what other programs send it.
  PauseAnsweringSentMessages(kRetryStepMs);
  return 1;
}

int DeleteFolderTree(const char* folder) {
  TreeWalk walk = {nullptr, nullptr, nullptr, {0, 0}, 1};
  return DeleteTree(folder, &walk);
}

int DeleteFolderTreeOr(const char* folder, LeftBehind left_behind, void* user, void* own_file) {
  TreeWalk walk = {left_behind, user, static_cast<HANDLE>(own_file), {0, 0}, 1};
  return DeleteTree(folder, &walk) && walk.whole;
}

int MakeFolderPath(const char* path, FileFailure* failure) {
  return WalkFolderPath(path, MakeOneFolder, failure);
}

int RemoveFile(const char* path, RetryClock* clock) {
  wchar_t wide[kWidePath];
  return WideFromAnsi(path, wide, kWidePath) && RemoveRetrying(wide, clock);
}

int WriteWholeFile(const char* path, const void* bytes, uint32_t length, RetryClock* clock) {
  RetryClock own = {0, 0};
  if (!clock) clock = &own;
  wchar_t wide[kWidePath];
  if (!WideFromAnsi(path, wide, kWidePath)) return 0;
  if (!RemoveOnce(wide)) {
    const DWORD error = GetLastError();
    // A file that cannot go now, held by a program that runs from it (a driver
    // setup program left running by a killed setup), is as good as written
    // when it already holds these bytes; waiting would not change it.
    if (HoldsBytes(wide, bytes, length)) return 1;
    SetLastError(error);
    if (!KeepTrying(clock, error) || !RemoveRetrying(wide, clock)) return 0;
  }
  HANDLE file = CreateNew(wide, GENERIC_WRITE, clock);
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

void NoteFileFailure(FileFailure* failure, const char* path, uint32_t error) {
  if (!failure || failure->path[0]) return;
  if (!CopyText(failure->path, sizeof failure->path, path)) failure->path[0] = '\0';
  failure->error = error;
}

namespace {

constexpr DWORD kCopyPiece = 8192;

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
  wchar_t wide_part[1024];
  wchar_t wide_dest[1024];
  if (!CopyText(part, sizeof part, dest) || !AppendText(part, sizeof part, ".new") ||
      !WideFromAnsi(part, wide_part, 1024) || !WideFromAnsi(dest, wide_dest, 1024)) {
    NoteFileFailure(failure, dest, ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  if (IsSameFile(source, wide_dest)) return 1;
  DWORD high = 0;
  const DWORD size = GetFileSize(source, &high);
  if (size == INVALID_FILE_SIZE || high != 0) {
    NoteFileFailure(failure, dest, high ? ERROR_FILE_TOO_LARGE : GetLastError());
    return 0;
  }
  // Until the rename the part file is what is written, and what a failure names.
  RetryClock clock = {0, 0};
  HANDLE to = RemoveRetrying(wide_part, &clock) ? CreateNew(wide_part, GENERIC_READ | GENERIC_WRITE, &clock)
                                                 : INVALID_HANDLE_VALUE;
  if (to == INVALID_HANDLE_VALUE) {
    NoteFileFailure(failure, part, GetLastError());
    return 0;
  }
  int whole = WriteAndCompare(static_cast<HANDLE>(source), to, size);
  DWORD error = whole ? 0 : GetLastError();
  CloseHandle(to);
  const char* failed = part;
  if (whole) {
    // Created with normal attributes, the part file gets the archive mark: off
    // while it is still ours, before it takes the copy's name.
    SetFileAttributesW(wide_part, FILE_ATTRIBUTE_NORMAL);
    // The rename replaces the name dest as it stands: a link there, symbolic
    // or hard, is replaced as a link, and what it pointed to keeps its bytes.
    whole = ClearReadOnlyAt(wide_dest);
    while (whole && !MoveFileExW(wide_part, wide_dest, MOVEFILE_REPLACE_EXISTING)) {
      const DWORD moved = GetLastError();
      if (!KeepTrying(&clock, moved)) {
        SetLastError(moved);
        whole = 0;
      }
    }
    if (!whole) {
      error = GetLastError();
      failed = dest;
    }
  }
  if (!whole) {
    DeleteFileW(wide_part);
    NoteFileFailure(failure, failed, error);
    return 0;
  }
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
