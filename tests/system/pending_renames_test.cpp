#include <gtest/gtest.h>

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

struct Edited {
  PendingEdit edit;
  std::u16string value;
};

Edited Withdraw(std::u16string value, const char16_t* folder = FOLDER) {
  size_t count = value.size();
  PendingEdit edit = WithdrawPendingDeletions(&value[0], &count, folder);
  value.resize(count);
  return {edit, value};
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

TEST(PendingRenames, DataThatIsNotWholePairsIsLeftAlone) {
  const std::u16string mine = u"\\??\\C:\\Program Files\\HC\\Quorvane\\f";
  const std::vector<std::u16string> broken = {
      mine,                                                   // source without its NUL
      mine + char16_t(0),                                     // no destination
      mine + char16_t(0) + u"C:\\dest",                       // destination without its NUL
      Value({mine, u""}, std::u16string(1, 0) + u"junk" + char16_t(0)),  // text after an empty source
      Value({mine, u""}) + u"C:\\odd" + char16_t(0),         // a pair after the closing NUL
  };
  for (const std::u16string& value : broken) {
    Edited e = Withdraw(value);
    EXPECT_EQ(e.edit, PENDING_KEEP);
    EXPECT_EQ(e.value, value) << "changed although malformed";
  }
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
