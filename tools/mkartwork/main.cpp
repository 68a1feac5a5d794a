// mkartwork ICON.ico BACKGROUND.bmp: writes the installer's artwork.
#include <cstdio>

#include "artwork.h"

namespace {

int Write(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "mkartwork: cannot write %s\n", path);
    return 0;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::fprintf(stderr, "mkartwork: write failed: %s\n", path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mkartwork ICON.ico BACKGROUND.bmp\n");
    return 2;
  }
  return Write(argv[1], BuildIcon()) && Write(argv[2], BuildBackgroundBmp()) ? 0 : 1;
}
