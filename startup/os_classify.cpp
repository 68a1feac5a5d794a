#include "startup/os_classify.h"

int32_t ClassifyVersion(int have_version, uint32_t major, uint32_t minor, uint8_t product_type) {
  if (!have_version) return -1;
  if (major <= 5) {
    if (minor == 0) return 0;
    if (minor == 2) return 2;
    return 1;
  }
  if (major == 6) {
    switch (minor) {
      case 0: return 3;
      case 1: return product_type == 1 ? 4 : 3;  // VER_NT_WORKSTATION: Windows 7
      case 2: return 5;
      case 3: return 6;
      default: return -1;
    }
  }
  if (major == 10) return 7;
  if (major > 10) return 8;
  return -1;  // 7, 8 and 9 were never released
}
