#include "system/text.h"

#include <cstring>

namespace {

template <typename C>
size_t Length(const C* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// The length of dst, or cap when no NUL lies within it.
template <typename C>
size_t LengthWithin(const C* s, size_t cap) {
  size_t n = 0;
  while (n < cap && s[n]) ++n;
  return n;
}

template <typename C>
int Copy(C* dst, size_t cap, const C* src) {
  size_t n = Length(src);
  if (cap == 0 || n >= cap) return 0;
  memmove(dst, src, (n + 1) * sizeof(C));
  return 1;
}

template <typename C>
int Append(C* dst, size_t cap, const C* src) {
  size_t have = LengthWithin(dst, cap);
  if (have >= cap) return 0;
  size_t n = Length(src);
  if (n >= cap - have) return 0;
  memmove(dst + have, src, (n + 1) * sizeof(C));
  return 1;
}

template <typename C>
int AppendPart(C* dst, size_t cap, const C* part) {
  size_t have = LengthWithin(dst, cap);
  if (have >= cap) return 0;
  bool need_sep = have == 0 || dst[have - 1] != C('\\');
  size_t n = Length(part);
  if (need_sep + n >= cap - have) return 0;
  if (need_sep) dst[have++] = C('\\');
  memmove(dst + have, part, (n + 1) * sizeof(C));
  return 1;
}

}  // namespace

int CopyText(char* dst, size_t cap, const char* src) { return Copy(dst, cap, src); }
int CopyText(wchar_t* dst, size_t cap, const wchar_t* src) { return Copy(dst, cap, src); }
int AppendText(char* dst, size_t cap, const char* src) { return Append(dst, cap, src); }
int AppendText(wchar_t* dst, size_t cap, const wchar_t* src) { return Append(dst, cap, src); }
int AppendPathPart(char* dst, size_t cap, const char* part) { return AppendPart(dst, cap, part); }
int AppendPathPart(wchar_t* dst, size_t cap, const wchar_t* part) { return AppendPart(dst, cap, part); }

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
