#include "window/layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void ExpectBox(const LayoutBox& box, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(box.left, left);
  EXPECT_EQ(box.top, top);
  EXPECT_EQ(box.right, right);
  EXPECT_EQ(box.bottom, bottom);
}

TEST(WindowLayout, ShippedBitmapGivesTheFixedPositions) {
  WindowLayout l;
  ComputeLayout(900, 424, &l);
  ExpectBox(l.bitmap, 0, 0, 900, 424);
  ExpectBox(l.os_label, 20, 390, 740, 424);
  ExpectBox(l.os_label_shadow, 21, 391, 740, 424);
  ExpectBox(l.band, 0, 424, 900, 524);
  ExpectBox(l.band_line1, 20, 454, 900, 524);
  ExpectBox(l.band_line2, 20, 474, 900, 524);
  ExpectBox(l.button, 580, 444, 880, 504);
  ExpectBox(l.installing, 580, 444, 880, 489);
  ExpectBox(l.status, 580, 484, 880, 504);
}

TEST(WindowLayout, OtherSizesFollowTheBitmapButTheLabelTopStays) {
  WindowLayout l;
  ComputeLayout(640, 300, &l);
  ExpectBox(l.os_label, 20, 390, 480, 300);  // top fixed even below the bitmap
  ExpectBox(l.band, 0, 300, 640, 400);
  ExpectBox(l.button, 320, 320, 620, 380);
  EXPECT_EQ(l.button.right - l.button.left, 300);
  EXPECT_EQ(l.button.bottom - l.button.top, 60);
  ExpectBox(l.status, 320, 360, 620, 380);
}

TEST(WindowLayout, FrameSizeAddsBandCaptionAndBothBorders) {
  int32_t w = 0, h = 0;
  ComputeFrameSize(900, 424, 4, 23, &w, &h);
  EXPECT_EQ(w, 908);
  EXPECT_EQ(h, 424 + 100 + 23 + 8);
  ComputeFrameSize(FALLBACK_BITMAP_WIDTH, FALLBACK_BITMAP_HEIGHT, 0, 0, &w, &h);
  EXPECT_EQ(w, 900);
  EXPECT_EQ(h, 524);
}

TEST(WindowLayout, HitTestIsStrictOnAllFourEdges) {
  LayoutBox b = {580, 444, 880, 504};
  EXPECT_TRUE(InsideStrict(b, 581, 445));
  EXPECT_TRUE(InsideStrict(b, 879, 503));
  EXPECT_TRUE(InsideStrict(b, 730, 474));
  EXPECT_FALSE(InsideStrict(b, 580, 474));
  EXPECT_FALSE(InsideStrict(b, 880, 474));
  EXPECT_FALSE(InsideStrict(b, 730, 444));
  EXPECT_FALSE(InsideStrict(b, 730, 504));
  EXPECT_FALSE(InsideStrict(b, 579, 474));
  EXPECT_FALSE(InsideStrict(b, 730, 505));
}

TEST(WindowLayout, AllZeroRectangleNeverHits) {
  LayoutBox zero = {0, 0, 0, 0};
  for (int32_t x = -2; x <= 2; ++x)
    for (int32_t y = -2; y <= 2; ++y) EXPECT_FALSE(InsideStrict(zero, x, y));
}

TEST(WindowLayout, OsLabels) {
  EXPECT_STREQ(OsLabel(0), "O/S: < XP");
  EXPECT_STREQ(OsLabel(1), "O/S: WIN XP");
  EXPECT_STREQ(OsLabel(2), "O/S: unknown");
  EXPECT_STREQ(OsLabel(3), "O/S: VISTA");
  EXPECT_STREQ(OsLabel(4), "O/S: WIN7");
  for (int32_t g = 5; g <= 8; ++g) EXPECT_STREQ(OsLabel(g), "O/S: > WIN7") << g;
  for (int32_t g : {-1, 9, 100, INT32_MIN, INT32_MAX}) EXPECT_STREQ(OsLabel(g), "O/S: unknown") << g;
}

TEST(WindowLayout, TextsFollowTheProductsPresence) {
  EXPECT_STREQ(BandLine1(0), "Ready to install ? Click the button right there...");
  EXPECT_STREQ(BandLine2(0), "it will install Halcyra Quorvane on your system...");
  EXPECT_STREQ(ButtonCaption(0), "Install");
  EXPECT_STREQ(BandLine1(1), "Quorvane is already installed...");
  EXPECT_STREQ(BandLine2(1), "previous version has to be removed before installing new one...");
  EXPECT_STREQ(ButtonCaption(1), "Remove");
  EXPECT_STREQ(INSTALLING_TEXT, "Installing");
  // The panel copies the status into 128 bytes: every text here must fit.
  EXPECT_LT(std::strlen(BandLine2(1)), 128u);
}

}  // namespace
