// The 64 steps of the MD5 compression function, as an X-macro:
// X(f, a, b, c, d, word, constant, shift, step). Shared by Md5Blocks and the
// one-pass kernel so that the schedule is written once.
#pragma once

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_SCHEDULE(X) \
  X(MD5_F, a, b, c, d, 0, 0xd76aa478, 7, 0) \
  X(MD5_F, d, a, b, c, 1, 0xe8c7b756, 12, 1) \
  X(MD5_F, c, d, a, b, 2, 0x242070db, 17, 2) \
  X(MD5_F, b, c, d, a, 3, 0xc1bdceee, 22, 3) \
  X(MD5_F, a, b, c, d, 4, 0xf57c0faf, 7, 4) \
  X(MD5_F, d, a, b, c, 5, 0x4787c62a, 12, 5) \
  X(MD5_F, c, d, a, b, 6, 0xa8304613, 17, 6) \
  X(MD5_F, b, c, d, a, 7, 0xfd469501, 22, 7) \
  X(MD5_F, a, b, c, d, 8, 0x698098d8, 7, 8) \
  X(MD5_F, d, a, b, c, 9, 0x8b44f7af, 12, 9) \
  X(MD5_F, c, d, a, b, 10, 0xffff5bb1, 17, 10) \
  X(MD5_F, b, c, d, a, 11, 0x895cd7be, 22, 11) \
  X(MD5_F, a, b, c, d, 12, 0x6b901122, 7, 12) \
  X(MD5_F, d, a, b, c, 13, 0xfd987193, 12, 13) \
  X(MD5_F, c, d, a, b, 14, 0xa679438e, 17, 14) \
  X(MD5_F, b, c, d, a, 15, 0x49b40821, 22, 15) \
  X(MD5_G, a, b, c, d, 1, 0xf61e2562, 5, 16) \
  X(MD5_G, d, a, b, c, 6, 0xc040b340, 9, 17) \
  X(MD5_G, c, d, a, b, 11, 0x265e5a51, 14, 18) \
  X(MD5_G, b, c, d, a, 0, 0xe9b6c7aa, 20, 19) \
  X(MD5_G, a, b, c, d, 5, 0xd62f105d, 5, 20) \
  X(MD5_G, d, a, b, c, 10, 0x02441453, 9, 21) \
  X(MD5_G, c, d, a, b, 15, 0xd8a1e681, 14, 22) \
  X(MD5_G, b, c, d, a, 4, 0xe7d3fbc8, 20, 23) \
  X(MD5_G, a, b, c, d, 9, 0x21e1cde6, 5, 24) \
  X(MD5_G, d, a, b, c, 14, 0xc33707d6, 9, 25) \
  X(MD5_G, c, d, a, b, 3, 0xf4d50d87, 14, 26) \
  X(MD5_G, b, c, d, a, 8, 0x455a14ed, 20, 27) \
  X(MD5_G, a, b, c, d, 13, 0xa9e3e905, 5, 28) \
  X(MD5_G, d, a, b, c, 2, 0xfcefa3f8, 9, 29) \
  X(MD5_G, c, d, a, b, 7, 0x676f02d9, 14, 30) \
  X(MD5_G, b, c, d, a, 12, 0x8d2a4c8a, 20, 31) \
  X(MD5_H, a, b, c, d, 5, 0xfffa3942, 4, 32) \
  X(MD5_H, d, a, b, c, 8, 0x8771f681, 11, 33) \
  X(MD5_H, c, d, a, b, 11, 0x6d9d6122, 16, 34) \
  X(MD5_H, b, c, d, a, 14, 0xfde5380c, 23, 35) \
  X(MD5_H, a, b, c, d, 1, 0xa4beea44, 4, 36) \
  X(MD5_H, d, a, b, c, 4, 0x4bdecfa9, 11, 37) \
  X(MD5_H, c, d, a, b, 7, 0xf6bb4b60, 16, 38) \
  X(MD5_H, b, c, d, a, 10, 0xbebfbc70, 23, 39) \
  X(MD5_H, a, b, c, d, 13, 0x289b7ec6, 4, 40) \
  X(MD5_H, d, a, b, c, 0, 0xeaa127fa, 11, 41) \
  X(MD5_H, c, d, a, b, 3, 0xd4ef3085, 16, 42) \
  X(MD5_H, b, c, d, a, 6, 0x04881d05, 23, 43) \
  X(MD5_H, a, b, c, d, 9, 0xd9d4d039, 4, 44) \
  X(MD5_H, d, a, b, c, 12, 0xe6db99e5, 11, 45) \
  X(MD5_H, c, d, a, b, 15, 0x1fa27cf8, 16, 46) \
  X(MD5_H, b, c, d, a, 2, 0xc4ac5665, 23, 47) \
  X(MD5_I, a, b, c, d, 0, 0xf4292244, 6, 48) \
  X(MD5_I, d, a, b, c, 7, 0x432aff97, 10, 49) \
  X(MD5_I, c, d, a, b, 14, 0xab9423a7, 15, 50) \
  X(MD5_I, b, c, d, a, 5, 0xfc93a039, 21, 51) \
  X(MD5_I, a, b, c, d, 12, 0x655b59c3, 6, 52) \
  X(MD5_I, d, a, b, c, 3, 0x8f0ccc92, 10, 53) \
  X(MD5_I, c, d, a, b, 10, 0xffeff47d, 15, 54) \
  X(MD5_I, b, c, d, a, 1, 0x85845dd1, 21, 55) \
  X(MD5_I, a, b, c, d, 8, 0x6fa87e4f, 6, 56) \
  X(MD5_I, d, a, b, c, 15, 0xfe2ce6e0, 10, 57) \
  X(MD5_I, c, d, a, b, 6, 0xa3014314, 15, 58) \
  X(MD5_I, b, c, d, a, 13, 0x4e0811a1, 21, 59) \
  X(MD5_I, a, b, c, d, 4, 0xf7537e82, 6, 60) \
  X(MD5_I, d, a, b, c, 11, 0xbd3af235, 10, 61) \
  X(MD5_I, c, d, a, b, 2, 0x2ad7d2bb, 15, 62) \
  X(MD5_I, b, c, d, a, 9, 0xeb86d391, 21, 63)
