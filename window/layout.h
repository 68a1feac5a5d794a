// Where everything in the window goes, derived from the background bitmap's
// size, and the texts chosen by the product's presence. Pure: no windows.h.
#pragma once
#include <cstdint>

constexpr int32_t BAND_HEIGHT = 100;
// Used when the background bitmap cannot be loaded, so the window keeps a
// sane size and layout.
constexpr int32_t FALLBACK_BITMAP_WIDTH = 900;
constexpr int32_t FALLBACK_BITMAP_HEIGHT = 424;

struct LayoutBox {
  int32_t left, top, right, bottom;
};

struct WindowLayout {
  LayoutBox bitmap;
  LayoutBox os_label;
  LayoutBox os_label_shadow;
  LayoutBox band;
  LayoutBox band_line1;
  LayoutBox band_line2;
  LayoutBox button;      // also the progress panel
  LayoutBox installing;  // "Installing" inside the panel
  LayoutBox status;      // status text inside the panel
};

void ComputeLayout(int32_t bitmap_width, int32_t bitmap_height, WindowLayout* out);

// Outer window size for a client area of the bitmap plus the band.
void ComputeFrameSize(int32_t bitmap_width, int32_t bitmap_height, int32_t border, int32_t caption,
                      int32_t* width, int32_t* height);

// 1 when (x, y) lies strictly inside the box: a point on an edge is outside.
int InsideStrict(const LayoutBox& box, int32_t x, int32_t y);

const char* OsLabel(int32_t os_generation);
const char* BandLine1(int32_t product_installed);
const char* BandLine2(int32_t product_installed);
const char* ButtonCaption(int32_t product_installed);

extern const char INSTALLING_TEXT[];
