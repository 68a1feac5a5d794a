#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "system/pending_renames.h"

namespace {

const char16_t FOLDER[] = u"C:\\Program Files\\HC\\Quorvane";

// A value as Windows writes it: source, NUL, destination, NUL per pair, then tail.
std::u16string Value(const std::vector<std::u16string>& pairs, const std::u16string& tail = std::u16string(1, 0)) {
  std::u16string v;
  for (const std::u16string& s : pairs) v += s + char16_t(0);
  return v + tail;
}

// The bytes as the registry keeps them: UTF-16 little-endian.
std::string Bytes(const std::u16string& v) {
  std::string b;
  for (char16_t c : v) b += {char(c & 0xFF), char(c >> 8)};
  return b;
}

struct Edited {
  PendingEdit edit;
  std::string bytes;
  std::u16string value;  // the whole units of bytes
};

Edited Withdraw(std::string bytes, const char16_t* folder = FOLDER) {
  size_t size = bytes.size();
  bytes += '?';  // never read: the edit stays within size
  PendingEdit edit = WithdrawPendingDeletions(reinterpret_cast<unsigned char*>(&bytes[0]), &size, folder);
  bytes.resize(size);
  std::u16string value;
  for (size_t i = 0; i + 1 < size; i += 2) value += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
  return {edit, bytes, value};
}

Edited Withdraw(const std::u16string& value, const char16_t* folder = FOLDER) {
  return Withdraw(Bytes(value), folder);
}

TEST(PendingRenames, WithdrawsOnlyDeletionsOfTheFolderAndWhatIsInsideIt) {
  const std::u16string foreign_delete = u"\\??\\C:\\Windows\\Temp\\old.dll";
  const std::u16string foreign_rename = u"\\??\\C:\\x\\new.sys";
  const std::u16string foreign_target = u"!\\??\\C:\\Windows\\x.sys";
  const std::u16string accented = u"\\??\\C:\\Donn\u00e9es\\\u00e9t\u00e9.txt";
  Edited e = Withdraw(Value({
      u"\\??\\C:\\Program Files\\HC\\Quorvane\\QuorvaneSetup.exe", u"",
      foreign_delete, u"",
      u"c:\\PROGRAM FILES\\hc\\quorvane\\codec\\encoder.dll", u"",  // plain form, other case
      foreign_rename, foreign_target,
      u"\\??\\C:\\Program Files\\HC\\Quorvane2\\a.txt", u"",  // a neighbour
      u"\\??\\C:\\Program Files\\HC\\Quorvane\\kept.txt", u"C:\\elsewhere\\kept.txt",  // a move, not a deletion
      u"\\??\\C:\\Program Files\\HC", u"",  // the parent
      accented, u"",
      u"\\\\?\\C:\\Program Files\\HC\\Quorvane\\", u"",
      u"\\??\\C:\\Program Files\\HC\\Quorvane", u"",
  }));
  EXPECT_EQ(e.edit, PENDING_WRITE);
  EXPECT_EQ(e.value, Value({foreign_delete, u"", foreign_rename, foreign_target,
                            u"\\??\\C:\\Program Files\\HC\\Quorvane2\\a.txt", u"",
                            u"\\??\\C:\\Program Files\\HC\\Quorvane\\kept.txt", u"C:\\elsewhere\\kept.txt",
                            u"\\??\\C:\\Program Files\\HC", u"", accented, u""}));
  // A trailing backslash on the folder changes nothing; done twice, the second finds nothing.
  Edited again = Withdraw(Value({u"\\??\\C:\\Program Files\\HC\\Quorvane\\x", u"", foreign_delete, u""}),
                          u"C:\\Program Files\\HC\\Quorvane\\");
  EXPECT_EQ(again.value, Value({foreign_delete, u""}));
  EXPECT_EQ(Withdraw(again.value).edit, PENDING_KEEP);
}

TEST(PendingRenames, NothingLeftDeletesTheValueAndTheTailIsKept) {
  EXPECT_EQ(Withdraw(Value({u"\\??\\C:\\Program Files\\HC\\Quorvane\\QuorvaneSetup.exe", u"",
                            u"\\??\\C:\\Program Files\\HC\\Quorvane", u""}))
                .edit,
            PENDING_DELETE);
  const std::u16string mine = u"C:\\Program Files\\HC\\Quorvane\\f";
  const std::u16string other = u"C:\\other";
  // Without the final NUL, or with more than one, the rest keeps its ending.
  EXPECT_EQ(Withdraw(Value({other, u"", mine, u""}, u"")).value, Value({other, u""}, u""));
  std::u16string two_nuls(2, 0);
  EXPECT_EQ(Withdraw(Value({mine, u"", other, u""}, two_nuls)).value, Value({other, u""}, two_nuls));
  EXPECT_EQ(Withdraw(std::u16string()).edit, PENDING_KEEP);
  EXPECT_EQ(Withdraw(std::u16string(1, 0)).edit, PENDING_KEEP);
}

// Read as Session Manager reads the value: every string to the end of the
// data, empty ones too, taken two by two; a half unit at the end is no text.
TEST(PendingRenames, OddShapesAreReadAsSessionManagerReadsThem) {
  const std::u16string mine = u"\\??\\C:\\Program Files\\HC\\Quorvane\\f";
  const std::u16string other = u"C:\\other";
  const std::u16string nul(1, 0);
  const std::vector<std::u16string> no_deletion_of_ours = {
      mine,                                    // a source without its NUL
      mine + nul,                              // and without a destination
      mine + nul + u"C:\\dest",                // a move, its destination without its NUL
      Value({other, u""}) + mine + nul + nul,  // after the closing NUL: a destination, not a source
  };
  for (const std::u16string& value : no_deletion_of_ours) {
    Edited e = Withdraw(value);
    EXPECT_EQ(e.edit, PENDING_KEEP);
    EXPECT_EQ(e.value, value);
  }
  // Pairs after the closing NUL are pairs too.
  EXPECT_EQ(Withdraw(Value({mine, u""}, nul + u"junk" + nul)).value, nul + u"junk" + nul);
  EXPECT_EQ(Withdraw(Value({other, u""}, nul + u"junk" + nul + mine + nul + nul)).value,
            Value({other, u""}, nul + u"junk" + nul));
  // An odd length: the half unit stays at the end, also when nothing else does.
  EXPECT_EQ(Withdraw(Bytes(Value({other, u"", mine, u""})) + 'x').bytes, Bytes(Value({other, u""})) + 'x');
  Edited odd = Withdraw(Bytes(Value({mine, u""}, u"")) + '\0');
  EXPECT_EQ(odd.edit, PENDING_WRITE);
  EXPECT_EQ(odd.bytes, std::string(1, '\0'));
}

TEST(PendingRenames, AFolderThatWouldTakeInTooMuchIsRefused) {
  const std::u16string value = Value({u"\\??\\C:\\Program Files\\HC\\Quorvane\\f", u""});
  for (const char16_t* folder : {u"", u"C:", u"C:\\", u"C:\\\\", u"\\\\server\\share\\HC\\Quorvane", u"\\??\\C:\\x"}) {
    Edited e = Withdraw(value, folder);
    EXPECT_EQ(e.edit, PENDING_KEEP) << std::string(folder, folder + std::char_traits<char16_t>::length(folder));
    EXPECT_EQ(e.value, value);
  }
  EXPECT_EQ(Withdraw(value, u"c:\\program files").edit, PENDING_DELETE);
}

}  // namespace
