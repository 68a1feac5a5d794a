#include "tools/mkartwork/artwork.h"

#include <gtest/gtest.h>

#include <set>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

struct Pixel {
  int r, g, b;
};

Pixel At(const std::vector<uint8_t>& bmp, int x, int y) {
  size_t row = ((ARTWORK_WIDTH * 3 + 3) / 4) * 4;
  size_t at = U32(bmp, 10) + (ARTWORK_HEIGHT - 1 - y) * row + x * 3;
  return {bmp[at + 2], bmp[at + 1], bmp[at]};
}

TEST(Artwork, BackgroundIsA24BitBmpOfTheWindowsSize) {
  std::vector<uint8_t> bmp = BuildBackgroundBmp();
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U32(bmp, 18), 900u);
  EXPECT_EQ(U32(bmp, 22), 424u);  // positive: bottom-up
  EXPECT_EQ(U16(bmp, 28), 24u);
  EXPECT_EQ(U32(bmp, 30), 0u);
  EXPECT_EQ(bmp.size(), 54u + 2700u * 424u);
}

TEST(Artwork, BackgroundIsAPictureNotAPlaceholder) {
  std::vector<uint8_t> bmp = BuildBackgroundBmp();
  std::set<int> colours;
  for (int y = 0; y < ARTWORK_HEIGHT; y += 3)
    for (int x = 0; x < ARTWORK_WIDTH; x += 3) {
      Pixel p = At(bmp, x, y);
      colours.insert(p.r << 16 | p.g << 8 | p.b);
    }
  EXPECT_GT(colours.size(), 2000u);
  // The name is drawn bright on the dark field, top left.
  int bright = 0;
  for (int y = 92; y < 150; ++y)
    for (int x = 46; x < 560; ++x) bright += At(bmp, x, y).g > 200;
  EXPECT_GT(bright, 2000);
}

TEST(Artwork, LabelStripIsDarkEnoughForWhiteText) {
  std::vector<uint8_t> bmp = BuildBackgroundBmp();
  // The OS label box (20, 390)-(740, 424): white text with a black shadow must read.
  for (int y = 390; y < 424; ++y)
    for (int x = 20; x < 740; ++x) {
      Pixel p = At(bmp, x, y);
      int luma = (p.r * 299 + p.g * 587 + p.b * 114) / 1000;
      ASSERT_LT(luma, 40) << x << "," << y;
    }
}

TEST(Artwork, IconHasTwo16ColourImages) {
  std::vector<uint8_t> ico = BuildIcon();
  ASSERT_GE(ico.size(), 6u + 32u);
  EXPECT_EQ(U16(ico, 0), 0u);
  EXPECT_EQ(U16(ico, 2), 1u);
  ASSERT_EQ(U16(ico, 4), 2u);
  int sizes[2] = {16, 32};
  for (int i = 0; i < 2; ++i) {
    size_t e = 6 + 16 * i;
    EXPECT_EQ(ico[e], sizes[i]);
    EXPECT_EQ(ico[e + 1], sizes[i]);
    EXPECT_EQ(ico[e + 2], 16);
    EXPECT_EQ(U16(ico, e + 6), 4u);
    uint32_t bytes = U32(ico, e + 8), offset = U32(ico, e + 12);
    ASSERT_LE(offset + bytes, ico.size());
    // Header, 16-entry palette, 4-bit colour rows, 1-bit mask rows (rows padded to 4 bytes).
    uint32_t xor_row = ((sizes[i] * 4 + 31) / 32) * 4, and_row = ((sizes[i] + 31) / 32) * 4;
    EXPECT_EQ(bytes, 40u + 64u + (xor_row + and_row) * sizes[i]);
    EXPECT_EQ(U32(ico, offset + 4), static_cast<uint32_t>(sizes[i]));
    EXPECT_EQ(U32(ico, offset + 8), static_cast<uint32_t>(2 * sizes[i]));
    EXPECT_EQ(U16(ico, offset + 14), 4u);
  }
}

}  // namespace
