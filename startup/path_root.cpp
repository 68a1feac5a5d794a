#include "startup/path_root.h"

#include <cstring>

#include "system/text.h"

int KeepPathRoot(char* path) {
  size_t len = strlen(path);
  if (len == 0) return 0;
  // A path that begins with a backslash (\\server\share, \dir) has its root end
  // at the first backslash from position 3 on.
  size_t start = path[0] == '\\' ? (len < 3 ? len : 3) : 0;
  char* cut = strchr(path + start, '\\');
  if (cut == nullptr) return 0;
  cut[1] = '\0';
  return 1;
}

int ProgramFilesFromWindowsDir(char* out, size_t cap, const char* windows_dir) {
  char root[2048];
  if (windows_dir == nullptr || !CopyText(root, sizeof root, windows_dir)) {
    CopyText(root, sizeof root, "C:");
  } else {
    KeepPathRoot(root);
  }
  // "C:\" and "C:" both give "C:\Program Files\".
  return JoinPath(out, cap, root, "Program Files\\");
}
