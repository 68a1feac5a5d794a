// libFuzzer: withdrawing the product's pending deletions from arbitrary
// PendingFileRenameOperations data. The first byte picks the folder, the rest
// are the value's bytes. Whatever the data, the edit only ever drops whole
// pairs that are deletions, keeps the rest in order and what no pair took (a
// lone source, the odd byte) as it was, and a second pass finds nothing more.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "system/pending_renames.h"

namespace {

// The value's strings taken two by two, as Session Manager takes them; rest is
// what no pair took.
void Split(const std::string& v, std::vector<std::string>* pairs, std::string* rest) {
  auto end_of = [&v](size_t at) {
    while (at + 1 < v.size() && (v[at] || v[at + 1])) at += 2;
    return at;
  };
  size_t at = 0;
  for (;;) {
    size_t target = end_of(at) + 2;
    if (target + 1 >= v.size()) break;
    size_t next = end_of(target);
    if (next + 1 < v.size()) next += 2;
    pairs->push_back(v.substr(at, next - at));
    at = next;
  }
  *rest = v.substr(at);
}

bool IsDeletion(const std::string& pair) {
  return pair.size() >= 4 && pair.compare(pair.size() - 4, 4, std::string(4, '\0')) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char16_t* const kFolders[] = {u"C:\\Program Files\\HC\\Quorvane", u"c:\\x\\", u"C:", u""};
  if (size < 1) return 0;
  const char16_t* folder = kFolders[data[0] % 4];
  const std::string before(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string after = before + '?';  // beyond size: must stay unread and unwritten
  size_t count = before.size();
  PendingEdit edit = WithdrawPendingDeletions(reinterpret_cast<unsigned char*>(&after[0]), &count, folder);
  if (count > before.size() || after[before.size()] != '?') __builtin_trap();
  after.resize(count);
  if (edit == PENDING_KEEP && after != before) __builtin_trap();
  // DELETE: what is left is NULs only, no odd byte.
  if (edit == PENDING_DELETE && (count % 2 || after.find_first_not_of('\0') != std::string::npos)) __builtin_trap();
  if (edit != PENDING_WRITE) return 0;
  std::vector<std::string> in, out;
  std::string in_rest, out_rest;
  Split(before, &in, &in_rest);
  Split(after, &out, &out_rest);
  if (out_rest != in_rest || out.size() >= in.size()) __builtin_trap();
  size_t i = 0;
  for (const std::string& pair : out) {
    for (; i < in.size() && in[i] != pair; ++i)
      if (!IsDeletion(in[i])) __builtin_trap();  // only deletions are dropped
    if (i++ == in.size()) __builtin_trap();      // not in order, or not one of the input's pairs
  }
  for (; i < in.size(); ++i)
    if (!IsDeletion(in[i])) __builtin_trap();
  std::string again = after + '?';
  if (WithdrawPendingDeletions(reinterpret_cast<unsigned char*>(&again[0]), &count, folder) != PENDING_KEEP)
    __builtin_trap();
  return 0;
}
