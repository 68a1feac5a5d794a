#include "window/layout.h"

const char INSTALLING_TEXT[] = "Installing";

namespace {

const char* const OS_LABELS[] = {
    "O/S: < XP",     // 0
    "O/S: WIN XP",   // 1
    "O/S: unknown",  // 2
    "O/S: VISTA",    // 3
    "O/S: WIN7",     // 4
    "O/S: > WIN7",   // 5
    "O/S: > WIN7",   // 6
    "O/S: > WIN7",   // 7
    "O/S: > WIN7",   // 8
};
const char UNKNOWN_OS_LABEL[] = "O/S: unknown";

LayoutBox Box(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  LayoutBox box = {left, top, right, bottom};
  return box;
}

}  // namespace

void ComputeLayout(int32_t w, int32_t h, WindowLayout* out) {
  out->bitmap = Box(0, 0, w, h);
  // The label's top is fixed; it does not follow the bitmap height.
  out->os_label = Box(20, 390, w - 160, h);
  out->os_label_shadow = Box(21, 391, w - 160, h);
  out->band = Box(0, h, w, h + BAND_HEIGHT);
  out->band_line1 = Box(20, h + 30, w, h + BAND_HEIGHT);
  out->band_line2 = Box(20, h + 50, w, h + BAND_HEIGHT);
  out->button = Box(w - 320, h + 20, w - 20, h + 80);
  out->installing = Box(w - 320, h + 20, w - 20, h + 65);
  out->status = Box(w - 320, h + 60, w - 20, h + 80);
}

void ComputeFrameSize(int32_t bitmap_width, int32_t bitmap_height, int32_t border, int32_t caption,
                      int32_t* width, int32_t* height) {
  *width = bitmap_width + 2 * border;
  *height = bitmap_height + BAND_HEIGHT + caption + 2 * border;
}

int InsideStrict(const LayoutBox& box, int32_t x, int32_t y) {
  return box.left < x && x < box.right && box.top < y && y < box.bottom;
}

const char* OsLabel(int32_t os_generation) {
  if (os_generation < 0 || os_generation > 8) return UNKNOWN_OS_LABEL;
  return OS_LABELS[os_generation];
}

const char* BandLine1(int32_t product_installed) {
  return product_installed ? "Quorvane is already installed..."
                           : "Ready to install ? Click the button right there...";
}

const char* BandLine2(int32_t product_installed) {
  return product_installed ? "previous version has to be removed before installing new one..."
                           : "it will install Halcyra Quorvane on your system...";
}

const char* ButtonCaption(int32_t product_installed) {
  return product_installed ? "Remove" : "Install";
}
