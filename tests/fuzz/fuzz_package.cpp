// libFuzzer: the record walk over arbitrary package bytes, as ExtractPackage
// and qvpack run it. ASan checks that nothing outside the input is read and
// nothing outside the buffers handed out is written; the stored bytes handed
// back as consumed must lie inside the input.
#include <cstring>
#include <vector>

#include "package/package_walk.h"

namespace {

struct Sink {
  std::vector<uint8_t> buffer;
  uint32_t given = 0;  // size of the last buffer handed out
  const uint8_t* data;
  size_t size;
};

uint8_t* Buffer(void* user, uint32_t size) {
  Sink* s = static_cast<Sink*>(user);
  if (size > s->size) __builtin_trap();  // a record outside the input got this far
  if (size & 1) return nullptr;          // exercise the out-of-memory path too
  s->buffer.assign(size, 0);             // exactly the size asked for
  s->given = size;
  return s->buffer.data();
}

int Write(void* user, const char* name, const uint8_t* plain, uint32_t size) {
  Sink* s = static_cast<Sink*>(user);
  // Empty entries get no buffer; every other write is of the buffer just handed out.
  if ((size && (size != s->given || plain != s->buffer.data())) || strlen(name) > PACKAGE_NAME_SIZE)
    __builtin_trap();
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < size; ++i) sum = sum + plain[i];
  return name[0] != 'x';
}

// qvpack lets the pages of what is handed back go: a range outside the input
// would drop memory that is not the package's.
void Consumed(void* user, const uint8_t* stored, uint32_t size) {
  Sink* s = static_cast<Sink*>(user);
  if (stored < s->data || size > s->size || size_t(stored - s->data) > s->size - size) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < PACKAGE_DIRECTORY_SIZE) return 0;
  PackageDirectory dir;
  memcpy(&dir, data, sizeof dir);
  Sink sink;
  sink.data = data;
  sink.size = size;
  PackageWalk walk = {&sink, Buffer, Write, nullptr, Consumed};
  // The filter: none, or the name of a record chosen by the last byte.
  char filter[PACKAGE_NAME_SIZE + 1];
  const char* f = nullptr;
  if (data[size - 1] & 1) {
    CopyEntryName(&dir.entries[data[size - 1] % PACKAGE_ENTRY_COUNT], filter);
    f = filter;
  }
  uint32_t failures = WalkPackage(data, size, &dir, f, &walk);
  if (failures > PACKAGE_ENTRY_COUNT) __builtin_trap();
  return 0;
}
