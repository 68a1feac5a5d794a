#include "system/path_utils.h"

#include <cstring>

#include "system/text.h"

void CutAtLastBackslash(char* path) {
  char* last = strrchr(path, '\\');
  if (last) *last = '\0';
}

void KeepFileName(char* path) {
  char* last = strrchr(path, '\\');
  if (last) memmove(path, last + 1, strlen(last + 1) + 1);
}

size_t FolderPathRootEnd(const char* path) {
  size_t len = strlen(path);
  size_t i = len < 2 ? len : 2;
  while (i < len && path[i] != '\\') ++i;
  // \\server\share: the share belongs to the root as well.
  if (path[0] == '\\' && path[1] == '\\' && i < len) {
    ++i;
    while (i < len && path[i] != '\\') ++i;
  }
  return i;
}

int WalkFolderPath(const char* path, int (*make)(void* user, const char* folder), void* user) {
  char work[FOLDER_PATH_AREA];
  if (!path || !CopyText(work, sizeof work, path)) return 0;  // an over-long path makes nothing
  const size_t len = strlen(work);
  if (len < 5) return 0;
  const size_t root = FolderPathRootEnd(work);
  if (root + 1 >= len) return 1;  // the root alone, or the root and its backslash
  for (size_t i = root + 1; i < len; ++i) {
    if (work[i] != '\\') continue;
    work[i] = '\0';
    int made = make(user, work);
    work[i] = '\\';
    if (!made) return 0;
  }
  if (work[len - 1] == '\\') return 1;
  return make(user, work);
}
