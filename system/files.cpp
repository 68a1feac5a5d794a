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
    // Users and sync tools mark files read-only; the removal takes them all the same.
    if (attributes & FILE_ATTRIBUTE_READONLY) ClearReadOnly(path);
    int removed;
    // A link of any kind (a reparse point) goes as itself: what it points to
    // may lie outside the tree, and is never entered.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
      removed = DeleteFileA(path) != 0;
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      removed = RemoveDirectoryA(path) != 0;
    else
      removed = DeleteTreeIn(path, strlen(path), walk);
    if (!removed) {
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
  DeleteTreeIn(path, strlen(path), walk);
  return 1;
}

int MakeOneFolder(void*, const char* folder) {
  if (CreateDirectoryA(folder, nullptr)) return 1;
  // ERROR_ALREADY_EXISTS also stands for a file of that name: only a folder will do.
  if (GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  DWORD attributes = GetFileAttributesA(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
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

int MakeFolderPath(const char* path) { return WalkFolderPath(path, MakeOneFolder, nullptr); }

int WriteWholeFile(const char* path, const void* bytes, uint32_t length) {
  ClearReadOnly(path);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes, length, &written, nullptr);
  CloseHandle(file);
  return ok && written == length;
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
