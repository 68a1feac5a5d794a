#include "system/pending_renames.h"

#include <cstring>

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool IsAsciiLetter(char16_t c) { return FoldAscii(c) >= u'A' && FoldAscii(c) <= u'Z'; }

// The registry keeps UTF-16 little-endian, whatever the bytes' alignment.
char16_t UnitAt(const unsigned char* data, size_t i) {
  return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}

// Where the NUL that ends the text starting at unit from stands; units when there is none.
size_t EndOf(const unsigned char* data, size_t from, size_t units) {
  while (from < units && UnitAt(data, from) != 0) ++from;
  return from;
}

// Whether the source units [s, s + n) name the folder f[0..fn) or lie inside it.
// Non-ASCII units must match exactly: the entries this program writes carry the
// very units of its own folder, and a stranger's spelling is better left alone.
bool InsideFolder(const unsigned char* data, size_t s, size_t n, const char16_t* f, size_t fn) {
  static const char16_t* const kPrefixes[] = {u"\\??\\", u"\\\\?\\"};
  for (const char16_t* prefix : kPrefixes) {
    size_t i = 0;
    while (i < 4 && i < n && UnitAt(data, s + i) == prefix[i]) ++i;
    if (i == 4) {
      s += 4;
      n -= 4;
      break;
    }
  }
  if (n < fn) return false;
  for (size_t i = 0; i < fn; ++i)
    if (FoldAscii(UnitAt(data, s + i)) != FoldAscii(f[i])) return false;
  // "...\Quorvane2" is a neighbour, not the inside.
  return n == fn || UnitAt(data, s + fn) == u'\\';
}

}  // namespace

PendingEdit WithdrawPendingDeletions(unsigned char* data, size_t* size, const char16_t* folder) {
  if (!data || !size || !folder) return PENDING_KEEP;
  size_t fn = 0;
  while (folder[fn]) ++fn;
  while (fn > 0 && folder[fn - 1] == u'\\') --fn;
  // A drive or an empty text would take in everything pending on it.
  if (fn < 4 || !IsAsciiLetter(folder[0]) || folder[1] != u':' || folder[2] != u'\\') return PENDING_KEEP;

  // Every string to the end of the data, empty ones included, paired in turn
  // as Session Manager pairs them: a deletion's empty destination is a string
  // of its own. What follows the usual closing NUL is paired too; a restart
  // that stops at an empty source carries out a part of these pairs, so none of
  // ours is left either way. Taking out whole pairs leaves every later string
  // at its place in the pairing.
  const size_t units = *size / 2;
  size_t at = 0, out = 0, withdrawn = 0;
  while (at < units) {
    size_t source_end = EndOf(data, at, units);
    size_t target = source_end + 1;
    if (target >= units) break;  // a source without a destination: no pair
    size_t next = EndOf(data, target, units);
    if (next < units) ++next;  // the destination's NUL
    if (UnitAt(data, target) == 0 && InsideFolder(data, at, source_end - at, folder, fn)) {
      ++withdrawn;
    } else {
      memmove(data + 2 * out, data + 2 * at, 2 * (next - at));
      out += next - at;
    }
    at = next;
  }
  if (withdrawn == 0) return PENDING_KEEP;
  // What no pair took (a lone last source, the odd byte) keeps its bytes.
  const size_t rest = *size - 2 * at;
  memmove(data + 2 * out, data + 2 * at, rest);
  *size = 2 * out + rest;
  if (*size % 2 != 0) return PENDING_WRITE;
  for (size_t i = 0; i < *size; ++i)
    if (data[i] != 0) return PENDING_WRITE;
  return PENDING_DELETE;
}
