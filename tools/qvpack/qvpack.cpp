// qvpack: builds, lists, verifies and extracts the package that the setup
// program carries, with the same core as the setup program.
//
//   qvpack build MANIFEST OUT      MANIFEST: 53 lines "NAME<TAB>SOURCE"
//   qvpack list FILE
//   qvpack verify FILE
//   qvpack extract FILE DIR [NAME]
//
// FILE is a package or a PE file (32- or 64-bit) that carries one as RCDATA 100.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "package/chain.h"
#include "package/md5.h"
#include "package/package_format.h"
#include "package/package_walk.h"
#include "package/package_writer.h"
#include "tools/qvpack/pe_resource.h"

namespace {

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("qvpack: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  return 1;
}

// The whole input file, read-only: mapped where the system allows.
struct InputFile {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
#ifdef _WIN32
  std::vector<uint8_t> held;
#else
  void* mapped = nullptr;
#endif
  ~InputFile() {
#ifndef _WIN32
    if (mapped) munmap(mapped, size_t(size));
#endif
  }
};

bool OpenInput(const char* path, InputFile* in) {
#ifdef _WIN32
  FILE* f = fopen(path, "rb");
  if (!f) return Fail("%s: %s", path, strerror(errno)), false;
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) in->held.insert(in->held.end(), chunk, chunk + n);
  bool bad = ferror(f);
  fclose(f);
  if (bad) return Fail("%s: read error", path), false;
  in->bytes = in->held.data();
  in->size = in->held.size();
#else
  int fd = open(path, O_RDONLY);
  if (fd < 0) return Fail("%s: %s", path, strerror(errno)), false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return Fail("%s: not a regular file", path), false;
  }
  in->size = uint64_t(st.st_size);
  if (in->size) {
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // one call instead of a fault per page
#endif
    in->mapped = mmap(nullptr, size_t(in->size), PROT_READ, flags, fd, 0);
    if (in->mapped == MAP_FAILED) {
      in->mapped = nullptr;
      close(fd);
      return Fail("%s: %s", path, strerror(errno)), false;
    }
    in->bytes = static_cast<const uint8_t*>(in->mapped);
  }
  close(fd);
#endif
  return true;
}

// A name as a package record holds it: 1 to 127 printable bytes, NUL-filled.
bool ValidRecordName(const PackageEntry* e) {
  size_t n = strnlen(e->name, PACKAGE_NAME_SIZE);
  if (n == 0 || n == PACKAGE_NAME_SIZE) return false;
  for (size_t i = 0; i < n; ++i)
    if (uint8_t(e->name[i]) < 0x20 || e->name[i] == 0x7f) return false;
  for (size_t i = n; i < PACKAGE_NAME_SIZE; ++i)
    if (e->name[i]) return false;
  return true;
}

struct Package {
  const uint8_t* bytes;
  uint64_t size;
  PackageDirectory directory;
};

// FILE: the package itself, or RCDATA 100 of a PE file.
bool LoadPackage(const char* path, InputFile* file, Package* pkg) {
  if (!OpenInput(path, file)) return false;
  pkg->bytes = file->bytes;
  pkg->size = file->size;
  if (LooksLikePe(file->bytes, size_t(file->size))) {
    PeResource r;
    switch (FindPeResource(file->bytes, size_t(file->size), 10, PACKAGE_RESOURCE_ID, &r)) {
      case PE_FOUND:
        break;
      case PE_NOT_PE:
        return Fail("%s: starts like a program but is not a PE file (%s)", path, r.why), false;
      case PE_DAMAGED:
        return Fail("%s: damaged PE file: %s", path, r.why), false;
      case PE_NO_RESOURCE:
        return Fail("%s: carries no package (RCDATA %d): %s", path, PACKAGE_RESOURCE_ID, r.why), false;
    }
    pkg->bytes = r.data;
    pkg->size = r.size;
  }
  if (pkg->size <= PACKAGE_DIRECTORY_SIZE)
    return Fail("%s: not a package: %llu bytes, no more than the %u-byte directory", path,
                (unsigned long long)pkg->size, PACKAGE_DIRECTORY_SIZE), false;
  memcpy(&pkg->directory, pkg->bytes, sizeof pkg->directory);
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i)
    if (!ValidRecordName(&pkg->directory.entries[i]))
      return Fail("%s: not a package: record %u holds no valid name", path, i), false;
  return true;
}

std::string HexDigest(const uint8_t* d) {
  char s[33];
  for (int i = 0; i < 16; ++i) snprintf(s + 2 * i, 3, "%02x", d[i]);
  return s;
}

// ---- build ----

struct ManifestLine {
  unsigned line;
  std::string name, source;
  uint64_t size;
};

bool ReadManifest(const char* path, std::vector<ManifestLine>* entries) {
  FILE* f = fopen(path, "rb");
  if (!f) return Fail("%s: %s", path, strerror(errno)), false;
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  fclose(f);
  unsigned line_no = 0;
  size_t at = 0;
  uint64_t total = PACKAGE_DIRECTORY_SIZE;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    size_t tab = line.find('\t');
    if (tab == std::string::npos)
      return Fail("%s:%u: no tab between the entry name and its source file", path, line_no), false;
    ManifestLine e = {line_no, line.substr(0, tab), line.substr(tab + 1), 0};
    if (e.name.empty()) return Fail("%s:%u: empty entry name", path, line_no), false;
    if (e.name.size() >= PACKAGE_NAME_SIZE)
      return Fail("%s:%u: entry name of %zu bytes; a record holds at most %u", path, line_no,
                  e.name.size(), PACKAGE_NAME_SIZE - 1), false;
    if (entries->size() == PACKAGE_ENTRY_COUNT)
      return Fail("%s:%u: a 54th entry; a package holds exactly %u", path, line_no,
                  PACKAGE_ENTRY_COUNT), false;
    struct stat st;
    if (stat(e.source.c_str(), &st) != 0)
      return Fail("%s:%u: source file %s: %s", path, line_no, e.source.c_str(), strerror(errno)), false;
    if (!S_ISREG(st.st_mode))
      return Fail("%s:%u: source %s is not a regular file", path, line_no, e.source.c_str()), false;
    e.size = uint64_t(st.st_size);
    total += e.size;
    if (total > 0xffffffffull)
      return Fail("%s:%u: the package would pass 4 GiB with this entry", path, line_no), false;
    entries->push_back(e);
  }
  if (entries->size() != PACKAGE_ENTRY_COUNT)
    return Fail("%s:%u: the manifest ends with %zu entries; a package holds exactly %u", path,
                line_no, entries->size(), PACKAGE_ENTRY_COUNT), false;
  return true;
}

bool ReadWhole(const std::string& path, uint64_t expected, std::vector<uint8_t>* bytes) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->resize(size_t(expected));
  size_t got = expected ? fread(bytes->data(), 1, size_t(expected), f) : 0;
  bool more = fgetc(f) != EOF;  // grew since it was measured
  fclose(f);
  return got == expected && !more;
}

int Build(const char* manifest, const char* out_path) {
  std::vector<ManifestLine> entries;
  if (!ReadManifest(manifest, &entries)) return 1;
  // Written beside the output and renamed at the end: a failed build leaves no partial file.
  std::string temp = std::string(out_path) + ".partial";
  FILE* out = fopen(temp.c_str(), "wb");
  if (!out) return Fail("%s: %s", temp.c_str(), strerror(errno));
  PackageDirectory dir;
  memset(&dir, 0, sizeof dir);
  PackageChain chain;
  ChainStart(&chain);
  bool ok = fwrite(&dir, sizeof dir, 1, out) == 1;  // the real one goes in at the end
  uint32_t offset = PACKAGE_DIRECTORY_SIZE;
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; ok && i < PACKAGE_ENTRY_COUNT; ++i) {
    const ManifestLine& e = entries[i];
    if (!ReadWhole(e.source, e.size, &bytes)) {
      Fail("%s:%u: could not read %s whole", manifest, e.line, e.source.c_str());
      ok = false;
      break;
    }
    PackageEntry* rec = &dir.entries[i];
    memcpy(rec->name, e.name.data(), e.name.size());
    rec->offset = offset;
    ScrambleEntry(&chain, bytes.data(), bytes.data(), uint32_t(e.size), rec);
    if (e.size && fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) ok = false;
    offset += uint32_t(e.size);
  }
  if (ok) ok = fseek(out, 0, SEEK_SET) == 0 && fwrite(&dir, sizeof dir, 1, out) == 1;
  if (fclose(out) != 0) ok = false;
  if (ok) {
    remove(out_path);  // rename does not replace on Windows
    ok = rename(temp.c_str(), out_path) == 0;
    if (!ok) Fail("%s: %s", out_path, strerror(errno));
  } else {
    Fail("%s: not written", out_path);
  }
  if (!ok) remove(temp.c_str());
  return ok ? 0 : 1;
}

// ---- list ----

int List(const char* path) {
  InputFile file;
  Package pkg;
  if (!LoadPackage(path, &file, &pkg)) return 1;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
    const PackageEntry& e = pkg.directory.entries[i];
    printf("%2u  %-29s %10u %10u  %s\n", i, e.name, e.offset, e.size, HexDigest(e.digest).c_str());
  }
  return 0;
}

// ---- verify and extract ----

struct Walker {
  uint8_t* buffer = nullptr;
  uint32_t capacity = 0;
  std::string dir;
  uint32_t written = 0;
  ~Walker() { free(buffer); }
};

// Null when the memory is not there: the walk counts that entry as failed.
uint8_t* GrowBuffer(void* user, uint32_t size) {
  Walker* w = static_cast<Walker*>(user);
  if (size > w->capacity) {
    free(w->buffer);
    w->buffer = static_cast<uint8_t*>(malloc(size));
    w->capacity = w->buffer ? size : 0;
  }
  return w->buffer;
}

const char* OutcomeText(EntryOutcome o) {
  switch (o) {
    case ENTRY_OUTSIDE: return "outside the package";
    case ENTRY_DIGEST_MISMATCH: return "digest mismatch";
    case ENTRY_NO_MEMORY: return "out of memory";
    case ENTRY_WRITE_FAILED: return "could not be written";
    default: return "";
  }
}

void Report(void* user, uint32_t, const char* name, EntryOutcome outcome) {
  Walker* w = static_cast<Walker*>(user);
  if (outcome == ENTRY_WRITTEN) {
    ++w->written;
    printf("ok %s (written)\n", name);
  } else if (outcome == ENTRY_VERIFIED) {
    printf("ok %s\n", name);
  } else {
    printf("FAIL %s: %s\n", name, OutcomeText(outcome));
  }
}

// Names stay below DIR: no absolute paths, drives or parent steps.
bool SafeName(const char* name) {
  if (name[0] == '\\' || name[0] == '/' || strchr(name, ':')) return false;
  const char* part = name;
  for (;;) {
    size_t n = strcspn(part, "\\/");
    if (n == 0 || (n == 2 && part[0] == '.' && part[1] == '.')) return false;
    if (!part[n]) return true;
    part += n + 1;
  }
}

bool MakeDir(const std::string& path) {
#ifdef _WIN32
  return _mkdir(path.c_str()) == 0 || errno == EEXIST;
#else
  return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
#endif
}

// Every folder of `path` up to its last separator.
void MakeParents(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == '/' || path[i] == '\\') MakeDir(path.substr(0, i));
}

int WriteFile(void* user, const char* name, const uint8_t* plain, uint32_t size) {
  Walker* w = static_cast<Walker*>(user);
  if (!SafeName(name)) return 0;
  std::string path = w->dir + "/" + name;
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  MakeParents(path);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  bool ok = size == 0 || fwrite(plain, 1, size, f) == size;
  if (fclose(f) != 0) ok = false;
  return ok;
}

int Walk(const char* path, const char* dir, const char* filter) {
  InputFile file;
  Package pkg;
  if (!LoadPackage(path, &file, &pkg)) return 1;
  Walker w;
  bool known = !filter;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT && !known; ++i)
    known = EntryNameEquals(&pkg.directory.entries[i], filter);
  if (!known) return Fail("%s: no entry is named %s", path, filter);
  if (dir) {
    w.dir = dir;
    MakeParents(w.dir + "/");
  }
  PackageWalk walk = {&w, GrowBuffer, dir ? WriteFile : nullptr, Report};
  uint32_t failures = WalkPackage(pkg.bytes, pkg.size, &pkg.directory, filter, &walk);
  if (failures)
    printf("%u of %u entries failed\n", failures, PACKAGE_ENTRY_COUNT);
  else if (dir)
    printf("all %u entries verified, %u written\n", PACKAGE_ENTRY_COUNT, w.written);
  else
    printf("all %u entries verified\n", PACKAGE_ENTRY_COUNT);
  return failures ? 1 : 0;
}

int Usage() {
  fputs("usage: qvpack build MANIFEST OUT\n"
        "       qvpack list FILE\n"
        "       qvpack verify FILE\n"
        "       qvpack extract FILE DIR [NAME]\n"
        "FILE is a package or a program that carries one as RCDATA 100.\n",
        stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  if (cmd == "build" && argc == 4) return Build(argv[2], argv[3]);
  if (cmd == "list" && argc == 3) return List(argv[2]);
  if (cmd == "verify" && argc == 3) return Walk(argv[2], nullptr, nullptr);
  if (cmd == "extract" && (argc == 4 || argc == 5))
    return Walk(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  return Usage();
}
