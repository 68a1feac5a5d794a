#include "system/text.h"

#include <cstring>

int CopyText(char* dst, size_t cap, const char* src) {
  size_t n = strlen(src);
  if (cap == 0 || n >= cap) return 0;
  memmove(dst, src, n + 1);
  return 1;
}

int AppendText(char* dst, size_t cap, const char* src) {
  size_t have = strnlen(dst, cap);
  if (have >= cap) return 0;
  size_t n = strlen(src);
  if (n >= cap - have) return 0;
  memmove(dst + have, src, n + 1);
  return 1;
}

int AppendPathPart(char* dst, size_t cap, const char* part) {
  size_t have = strnlen(dst, cap);
  if (have >= cap) return 0;
  bool need_sep = have == 0 || dst[have - 1] != '\\';
  size_t n = strlen(part);
  if (need_sep + n >= cap - have) return 0;
  if (need_sep) dst[have++] = '\\';
  memmove(dst + have, part, n + 1);
  return 1;
}

int JoinPath(char* dst, size_t cap, const char* left, const char* right) {
  size_t l = strlen(left);
  bool need_sep = l == 0 || left[l - 1] != '\\';
  size_t r = strlen(right);
  if (cap == 0 || l + need_sep + r >= cap) return 0;
  memmove(dst, left, l);
  if (need_sep) dst[l++] = '\\';
  memmove(dst + l, right, r + 1);
  return 1;
}
