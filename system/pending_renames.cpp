#include "system/pending_renames.h"

#include <cstring>

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool IsAsciiLetter(char16_t c) { return FoldAscii(c) >= u'A' && FoldAscii(c) <= u'Z'; }

// Where the NUL that ends the text starting at data[from] stands; count when there is none.
size_t EndOf(const char16_t* data, size_t from, size_t count) {
  while (from < count && data[from] != 0) ++from;
  return from;
}

// Whether the source data[0..n) names the folder f[0..fn) or lies inside it. Non-ASCII
// units must match exactly: the entries this program writes carry the very
// units of its own folder, and a stranger's spelling is better left alone.
bool InsideFolder(const char16_t* s, size_t n, const char16_t* f, size_t fn) {
  static const char16_t* const kPrefixes[] = {u"\\??\\", u"\\\\?\\"};
  for (const char16_t* prefix : kPrefixes) {
    if (n >= 4 && memcmp(s, prefix, 4 * sizeof(char16_t)) == 0) {
      s += 4;
      n -= 4;
      break;
    }
  }
  if (n < fn) return false;
  for (size_t i = 0; i < fn; ++i)
    if (FoldAscii(s[i]) != FoldAscii(f[i])) return false;
  // "...\Quorvane2" is a neighbour, not the inside.
  return n == fn || s[fn] == u'\\';
}

}  // namespace

PendingEdit WithdrawPendingDeletions(char16_t* data, size_t* count, const char16_t* folder) {
  if (!data || !count || !folder) return PENDING_KEEP;
  size_t fn = 0;
  while (folder[fn]) ++fn;
  while (fn > 0 && folder[fn - 1] == u'\\') --fn;
  // A drive or an empty text would take in everything pending on it.
  if (fn < 4 || !IsAsciiLetter(folder[0]) || folder[1] != u':' || folder[2] != u'\\') return PENDING_KEEP;

  // The whole value is read before anything changes: data that is not whole
  // pairs (a source or destination without its NUL, anything after an empty
  // source other than NULs) is not ours to judge, and stays as it is.
  const size_t n = *count;
  size_t tail = 0, withdrawn = 0, kept = 0;
  while (tail < n && data[tail] != 0) {
    size_t source_end = EndOf(data, tail, n);
    size_t target_end = source_end < n ? EndOf(data, source_end + 1, n) : n;
    if (target_end >= n) return PENDING_KEEP;
    if (target_end == source_end + 1 && InsideFolder(data + tail, source_end - tail, folder, fn))
      ++withdrawn;
    else
      ++kept;
    tail = target_end + 1;
  }
  for (size_t i = tail; i < n; ++i)
    if (data[i] != 0) return PENDING_KEEP;
  if (withdrawn == 0) return PENDING_KEEP;
  if (kept == 0) return PENDING_DELETE;

  size_t out = 0;
  for (size_t at = 0; at < tail;) {
    size_t source_end = EndOf(data, at, n);
    size_t target_end = EndOf(data, source_end + 1, n);
    size_t next = target_end + 1;
    if (!(target_end == source_end + 1 && InsideFolder(data + at, source_end - at, folder, fn))) {
      memmove(data + out, data + at, (next - at) * sizeof(char16_t));
      out += next - at;
    }
    at = next;
  }
  memmove(data + out, data + tail, (n - tail) * sizeof(char16_t));
  *count = out + (n - tail);
  return PENDING_WRITE;
}
