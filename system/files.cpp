#include "system/files.h"

#include <windows.h>

#include <cstring>

#include "system/path_utils.h"
#include "system/text.h"

namespace {

constexpr size_t kTreeArea = 2048;

// `path` holds the folder (len characters) in a kTreeArea buffer shared by
// every level, so that deep trees cost little stack. The enumeration starts
// afresh after every removal, so none is open while the folder changes.
// Returns whether the folder itself went.
int DeleteTreeIn(char* path, size_t len) {
  for (;;) {
    path[len] = '\0';
    if (!AppendPathPart(path, kTreeArea, "*.*")) break;
    WIN32_FIND_DATAA item;
    HANDLE find = FindFirstFileA(path, &item);
    path[len] = '\0';
    if (find == INVALID_HANDLE_VALUE) break;
    int found = 0;
    do {
      // Folders whose names begin with a dot ("." and ".." among them) stay.
      if (!(item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || item.cFileName[0] != '.') {
        found = 1;
        break;
      }
    } while (FindNextFileA(find, &item));
    FindClose(find);
    if (!found) break;
    if (!AppendPathPart(path, kTreeArea, item.cFileName)) break;
    int removed;
    if (!(item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      removed = DeleteFileA(path) != 0;
    else if (item.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
      removed = RemoveDirectoryA(path) != 0;  // the link only, never what it points to
    else
      removed = DeleteTreeIn(path, strlen(path));
    path[len] = '\0';
    // A file or sub-folder that stays would come first again: stop here.
    if (!removed) break;
  }
  path[len] = '\0';
  return RemoveDirectoryA(path) != 0;
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
  char path[kTreeArea];
  // A folder whose pattern would not fit is refused before anything is touched.
  if (!folder || strlen(folder) + sizeof "\\*.*" > kTreeArea) return 0;
  CopyText(path, sizeof path, folder);
  DeleteTreeIn(path, strlen(path));
  return 1;
}

int MakeFolderPath(const char* path) { return WalkFolderPath(path, MakeOneFolder, nullptr); }

int WriteWholeFile(const char* path, const void* bytes, uint32_t length) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes, length, &written, nullptr);
  CloseHandle(file);
  return ok && written == length;
}

int FileExists(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(file);
  return 1;
}
