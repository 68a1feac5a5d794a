#include "package/package.h"

#include <cstring>

#include "package/package_walk.h"
#include "system/files.h"
#include "system/path_utils.h"
#include "system/text.h"

namespace {

struct MappedPackage {
  const uint8_t* bytes;
  DWORD size;
};

// Resource 100 of type RCDATA, where the loader mapped it (read-only on NT).
// Win32 resources need no release: FreeResource does nothing there.
int FindPackage(HINSTANCE instance, MappedPackage* package) {
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(PACKAGE_RESOURCE_ID), MAKEINTRESOURCEA(10));
  if (!found) return 0;
  HGLOBAL loaded = LoadResource(instance, found);
  if (!loaded) return 0;
  package->bytes = static_cast<const uint8_t*>(LockResource(loaded));
  package->size = SizeofResource(instance, found);
  return package->bytes != nullptr;
}

// The plain bytes of one entry at a time, in one buffer grown as needed.
struct Extraction {
  const char* install_folder;
  uint8_t* buffer;
  uint32_t capacity;
  FileFailure* failure;
  RetryClock clock;  // one for the whole extraction: a file held for good costs its wait once
};

uint8_t* PlainBuffer(void* user, uint32_t size) {
  Extraction* x = static_cast<Extraction*>(user);
  if (size <= x->capacity) return x->buffer;
  HANDLE heap = GetProcessHeap();
  if (x->buffer) HeapFree(heap, 0, x->buffer);  // nothing in it is kept
  x->buffer = static_cast<uint8_t*>(HeapAlloc(heap, 0, size));
  x->capacity = x->buffer ? size : 0;
  return x->buffer;
}

int WriteEntry(void* user, const char* name, const uint8_t* plain, uint32_t size) {
  Extraction* x = static_cast<Extraction*>(user);
  char path[1024];
  if (!JoinPath(path, sizeof path, x->install_folder, name)) return 0;  // too long: a failed write
  char folder[1024];
  memcpy(folder, path, sizeof folder);
  CutAtLastBackslash(folder);
  // A folder that cannot be made shows up as the failed write that follows.
  if (strcmp(folder, x->install_folder) != 0) MakeFolderPath(folder);
  if (WriteWholeFile(path, plain, size, &x->clock)) return 1;
  NoteFileFailure(x->failure, path, GetLastError());
  return 0;
}

}  // namespace

int ReadPackageDirectory(SetupContext* context) {
  MappedPackage package;
  if (!FindPackage(context->instance, &package)) return -1;
  if (package.size <= PACKAGE_DIRECTORY_SIZE) return -1;
  memcpy(&context->package_directory, package.bytes, PACKAGE_DIRECTORY_SIZE);
  return 0;
}

int ExtractPackage(SetupContext* context, const char* filter, FileFailure* failure) {
  MappedPackage package;
  if (!FindPackage(context->instance, &package)) return -1;
  if (package.size > PACKAGE_DIRECTORY_SIZE)
    memcpy(&context->package_directory, package.bytes, PACKAGE_DIRECTORY_SIZE);
  Extraction x = {context->install_folder, nullptr, 0, failure, {0, 0}};
  PackageWalk walk = {&x, PlainBuffer, WriteEntry, nullptr};
  uint32_t failures =
      WalkPackage(package.bytes, package.size, &context->package_directory, filter, &walk);
  if (x.buffer) HeapFree(GetProcessHeap(), 0, x.buffer);
  return PackageResult(failures);
}

int DeletePackageFiles(SetupContext* context) {
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    char name[PACKAGE_NAME_SIZE + 1];
    CopyEntryName(&context->package_directory.entries[i], name);
    if (EntryNameUnsafe(name)) continue;  // never written by the install: nothing of ours there
    char path[1024];
    // One try each: the removal's walk over the folder that follows waits out
    // a passing hold, once for all the files.
    if (JoinPath(path, sizeof path, context->install_folder, name)) RemoveFile(path);
  }
  return 0;
}
