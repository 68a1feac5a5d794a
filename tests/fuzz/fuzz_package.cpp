// libFuzzer: the record walk over arbitrary package bytes, as ExtractPackage
// (stored bytes in memory) and qvpack (read into the walk's buffer) run it.
// ASan checks that nothing outside the input is read and nothing outside the
// buffers handed out is written; the stored bytes asked for must lie inside
// the input, and no unsafe name may reach the writer.
#include <cstring>
#include <vector>

#include "package/package_walk.h"

namespace {

struct Sink {
  std::vector<uint8_t> buffer;
  uint32_t given = 0;  // size of the last buffer handed out
  const uint8_t* data;
  size_t size;
  bool read_into_room;  // as qvpack does
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
  if ((size && (size != s->given || plain != s->buffer.data())) ||
      strlen(name) > PACKAGE_NAME_SIZE || EntryNameUnsafe(name))
    __builtin_trap();
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < size; ++i) sum = sum + plain[i];
  return name[0] != 'x';
}

// qvpack reads what is asked for from its file: a range outside the input
// would be a read past the package.
const uint8_t* Stored(void* user, uint64_t offset, uint32_t size, uint8_t* room) {
  Sink* s = static_cast<Sink*>(user);
  if (size > s->size || offset > s->size - size) __builtin_trap();
  if (!s->read_into_room) return s->data + offset;
  if (offset + size == s->size) return nullptr;  // and a read that fails: the file cut short
  memcpy(room, s->data + offset, size);
  return room;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < PACKAGE_DIRECTORY_SIZE) return 0;
  PackageDirectory dir;
  memcpy(&dir, data, sizeof dir);
  Sink sink;
  sink.data = data;
  sink.size = size;
  sink.read_into_room = data[size - 1] & 2;
  PackageWalk walk = {&sink, Buffer, Write, nullptr, Stored};
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
