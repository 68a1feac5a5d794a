#include "window/launch_target.h"

void DescrambleLaunchTarget(uint32_t key, unsigned char* bytes, uint32_t count) {
  if (!bytes) return;
  uint32_t s = key;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t r = count - i;  // bytes left, this one included
    s = (s + r) * (s + r);
    bytes[i] = static_cast<unsigned char>(bytes[i] ^ ((s >> 8) & 0xFFu));
    // Arithmetic shift of the signed value, spelled out.
    s = (s >> 8) | ((s & 0x80000000u) ? 0xFF000000u : 0u);
  }
}

void WipeBytes(void* bytes, size_t count) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(bytes);
  for (size_t i = 0; i < count; ++i) p[i] = 0;
}
