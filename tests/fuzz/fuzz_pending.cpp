// libFuzzer: withdrawing the product's pending deletions from arbitrary
// PendingFileRenameOperations data. The first byte picks the folder, the rest
// are the value's 16-bit units. Whatever the data, the edit only ever drops
// whole pairs, keeps the rest in order and the ending as it was, and a second
// pass finds nothing more to withdraw.
#include <cstring>
#include <string>
#include <vector>

#include "system/pending_renames.h"

namespace {

// Splits a value into its pairs and what follows them; false when it is not whole pairs.
bool Split(const std::u16string& v, std::vector<std::u16string>* pairs, std::u16string* tail) {
  size_t at = 0;
  while (at < v.size() && v[at] != 0) {
    size_t source_end = v.find(char16_t(0), at);
    size_t target_end = source_end == std::u16string::npos ? source_end : v.find(char16_t(0), source_end + 1);
    if (target_end == std::u16string::npos) return false;
    pairs->push_back(v.substr(at, target_end + 1 - at));
    at = target_end + 1;
  }
  *tail = v.substr(at);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char16_t* const kFolders[] = {u"C:\\Program Files\\HC\\Quorvane", u"c:\\x\\", u"C:", u""};
  if (size < 1) return 0;
  const char16_t* folder = kFolders[data[0] % 4];
  std::u16string before((size - 1) / 2, u'\0');
  if (!before.empty()) memcpy(&before[0], data + 1, before.size() * 2);
  std::u16string after = before;
  size_t count = after.size();
  PendingEdit edit = WithdrawPendingDeletions(after.empty() ? nullptr : &after[0], &count, folder);
  if (count > before.size()) __builtin_trap();
  after.resize(count);
  if (edit != PENDING_WRITE) {
    if (after != before) __builtin_trap();  // KEEP and DELETE leave the data to the caller as it was
    return 0;
  }
  std::vector<std::u16string> in, out;
  std::u16string in_tail, out_tail;
  if (!Split(before, &in, &in_tail) || !Split(after, &out, &out_tail)) __builtin_trap();
  if (out_tail != in_tail || out.empty() || out.size() >= in.size()) __builtin_trap();
  size_t i = 0;
  for (const std::u16string& pair : out) {
    while (i < in.size() && in[i] != pair) ++i;
    if (i++ == in.size()) __builtin_trap();  // not in order, or not one of the input's pairs
  }
  if (WithdrawPendingDeletions(&after[0], &count, folder) != PENDING_KEEP) __builtin_trap();
  return 0;
}
