#include <gtest/gtest.h>

#include <random>

#include "package/md5.h"
#include "test_package.h"

static std::string Md5Hex(const std::string& s) {
  uint8_t d[16];
  Md5Bytes(s.data(), s.size(), d);
  return Hex(d, 16);
}

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                   "1234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Padding edges: 55 bytes fit one final block, 56 need two, 64 a whole extra one.
TEST(Md5, PaddingBoundaries) {
  EXPECT_EQ(Md5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(Md5, PiecewiseUpdatesEqualOneCall) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = uint8_t(rng());
  uint8_t whole[16];
  Md5Bytes(data.data(), data.size(), whole);
  for (int round = 0; round < 50; ++round) {
    Md5 md5;
    Md5Init(&md5);
    size_t at = 0;
    while (at < data.size()) {
      size_t n = std::min<size_t>(rng() % 150, data.size() - at);
      Md5Update(&md5, data.data() + at, n);
      at += n;
    }
    uint8_t piece[16];
    Md5Final(&md5, piece);
    ASSERT_EQ(Hex(piece, 16), Hex(whole, 16)) << "round " << round;
  }
}
