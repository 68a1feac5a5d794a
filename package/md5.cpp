#include "package/md5.h"

#include <cstring>

#include "package/md5_steps.h"

namespace {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);  // every target is little-endian
  return v;
}

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

}  // namespace

#define MD5_STEP(f, a, b, c, d, k, t, s, i) \
  a += f(b, c, d) + x[k] + (t);                \
  a = Rotl(a, s) + b;

void Md5Blocks(uint32_t state[4], const uint8_t* p, size_t count) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count; --count, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(p + 4 * i);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    MD5_SCHEDULE(MD5_STEP)
    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

void Md5Init(Md5* md5) {
  md5->state[0] = 0x67452301;
  md5->state[1] = 0xefcdab89;
  md5->state[2] = 0x98badcfe;
  md5->state[3] = 0x10325476;
  md5->length = 0;
}

void Md5Update(Md5* md5, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t have = md5->length % 64;
  md5->length += size;
  if (have) {
    size_t take = 64 - have;
    if (take > size) take = size;
    memcpy(md5->buffer + have, p, take);
    p += take;
    size -= take;
    if (have + take < 64) return;
    Md5Blocks(md5->state, md5->buffer, 1);
  }
  if (size >= 64) {
    Md5Blocks(md5->state, p, size / 64);
    p += size & ~size_t(63);
    size %= 64;
  }
  if (size) memcpy(md5->buffer, p, size);
}

void Md5Final(Md5* md5, uint8_t digest[16]) {
  uint64_t bits = md5->length * 8;
  size_t have = md5->length % 64;
  md5->buffer[have++] = 0x80;
  if (have > 56) {
    memset(md5->buffer + have, 0, 64 - have);
    Md5Blocks(md5->state, md5->buffer, 1);
    have = 0;
  }
  memset(md5->buffer + have, 0, 56 - have);
  for (int i = 0; i < 8; ++i) md5->buffer[56 + i] = uint8_t(bits >> (8 * i));
  Md5Blocks(md5->state, md5->buffer, 1);
  for (int i = 0; i < 4; ++i) memcpy(digest + 4 * i, &md5->state[i], 4);
}

void Md5Bytes(const void* data, size_t size, uint8_t digest[16]) {
  Md5 md5;
  Md5Init(&md5);
  Md5Update(&md5, data, size);
  Md5Final(&md5, digest);
}
