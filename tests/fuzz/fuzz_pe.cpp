// libFuzzer: qvpack's PE resource finder over arbitrary bytes, then the record
// walk over whatever resource it found.
#include <cstring>
#include <vector>

#include "package/package_walk.h"
#include "tools/qvpack/pe_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PeResource r;
  if (FindPeResource(data, size, 10, 100, &r) != PE_FOUND) return 0;
  if (r.data < data || r.size > size || size_t(r.data - data) > size - r.size) __builtin_trap();
  if (r.size <= PACKAGE_DIRECTORY_SIZE) return 0;
  PackageDirectory dir;
  memcpy(&dir, r.data, sizeof dir);
  std::vector<uint8_t> buffer;
  PackageWalk walk = {&buffer,
                      [](void* u, uint32_t n) -> uint8_t* {
                        auto* b = static_cast<std::vector<uint8_t>*>(u);
                        b->assign(n, 0);
                        return b->data();
                      },
                      nullptr, nullptr};
  WalkPackage(r.data, r.size, &dir, nullptr, &walk);
  return 0;
}
