// qvpack: builds, lists, verifies and extracts the package that the setup
// program carries, with the same core as the setup program. Its input comes
// from anywhere: it trusts no byte of it, holds only the directory and one
// entry at a time in memory, and writes nothing outside the folder it is given.
//
//   qvpack build MANIFEST OUT      MANIFEST: 53 lines "NAME<TAB>SOURCE"
//   qvpack list FILE
//   qvpack verify FILE
//   qvpack extract FILE DIR [NAME]
//
// FILE is a package or a PE file (32- or 64-bit) that carries one as RCDATA 100.
// Exit codes: 0 done, 1 refused or failed, 2 wrong use (package/README.md).
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
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

// One line on stderr; `ending` closes it.
int Say(int code, const char* ending, const char* format, va_list args) {
  fputs("qvpack: ", stderr);
  vfprintf(stderr, format, args);
  fputs(ending, stderr);
  return code;
}

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int code = Say(1, "\n", format, args);
  va_end(args);
  return code;
}

// Wrong use of the command line: the problem, and where the usage is.
int UsageError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int code = Say(2, "; see qvpack --help\n", format, args);
  va_end(args);
  return code;
}

// Text from the command line or a manifest, fit for one message line.
std::string Shown(const char* text) {
  std::string s = text;
  for (char& c : s)
    if (uint8_t(c) < 0x20 || c == 0x7f) c = '?';
  return s;
}

#ifdef _WIN32
using StatBuf = struct _stat64;  // sizes past 2 GiB
int StatPath(const char* path, StatBuf* st) { return _stat64(path, st); }

std::string SystemText(DWORD code) {
  char text[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) --n;
  return n ? std::string(text, n) : "error " + std::to_string(code);
}
#else
using StatBuf = struct stat;
int StatPath(const char* path, StatBuf* st) { return stat(path, st); }
#endif

// The input file, read a piece at a time into the caller's buffer: memory
// stays small for any size, and no page of the file is mapped for the walk.
struct InputFile {
  uint64_t size = 0;  // of the file
  uint64_t base = 0;  // where the package starts in it
#ifdef _WIN32
  HANDLE file = INVALID_HANDLE_VALUE;
#else
  int fd = -1;
#endif
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
#ifdef _WIN32
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
#else
    if (fd >= 0) close(fd);
#endif
  }
  // All `n` bytes at `at`, or false with the reason in *why.
  bool Read(uint64_t at, uint8_t* into, uint32_t n, std::string* why) const {
    for (uint32_t done = 0; done < n;) {
#ifdef _WIN32
      OVERLAPPED where = {};
      where.Offset = DWORD(at + done);
      where.OffsetHigh = DWORD((at + done) >> 32);
      DWORD got = 0;
      if (!ReadFile(file, into + done, n - done, &got, &where) && GetLastError() != ERROR_HANDLE_EOF)
        return *why = SystemText(GetLastError()), false;
#else
      const ssize_t got = pread(fd, into + done, n - done, off_t(at + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return *why = strerror(errno), false;
#endif
      if (got == 0) return *why = "the file ends early", false;  // cut short while read
      done += uint32_t(got);
    }
    return true;
  }
};

bool OpenInput(const char* path, InputFile* in) {
  StatBuf st;
  if (StatPath(path, &st) != 0) return Fail("%s: %s", path, strerror(errno)), false;
  if (S_ISDIR(st.st_mode)) return Fail("%s: is a folder, not a package", path), false;
  if (!S_ISREG(st.st_mode)) return Fail("%s: not a regular file", path), false;
#ifdef _WIN32
  in->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in->file == INVALID_HANDLE_VALUE)
    return Fail("%s: %s", path, SystemText(GetLastError()).c_str()), false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in->file, &size))
    return Fail("%s: %s", path, SystemText(GetLastError()).c_str()), false;
  in->size = uint64_t(size.QuadPart);
#else
  in->fd = open(path, O_RDONLY | O_CLOEXEC);
  if (in->fd < 0) return Fail("%s: %s", path, strerror(errno)), false;
  // Measured again on the open file: the path may have changed hands since.
  if (fstat(in->fd, &st) != 0 || !S_ISREG(st.st_mode))
    return Fail("%s: not a regular file", path), false;
  in->size = uint64_t(st.st_size);
  posix_fadvise(in->fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a larger read-ahead when not cached
#endif
  return true;
}

// Where RCDATA 100 of a PE file lies in it. The resource tree is looked up in
// a read-only mapping, of which only the few pages read come into memory.
bool FindPackageInPe(const char* path, InputFile* in, uint64_t* size) {
  if (in->size > SIZE_MAX)
    return Fail("%s: %llu bytes, more than this program can map", path,
                (unsigned long long)in->size), false;
#ifdef _WIN32
  HANDLE mapping = CreateFileMappingA(in->file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (!view) {
    const DWORD err = GetLastError();
    if (mapping) CloseHandle(mapping);
    return Fail("%s: cannot map: %s", path, SystemText(err).c_str()), false;
  }
#else
  void* view = mmap(nullptr, size_t(in->size), PROT_READ, MAP_PRIVATE, in->fd, 0);
  if (view == MAP_FAILED) return Fail("%s: cannot map: %s", path, strerror(errno)), false;
#endif
  const uint8_t* bytes = static_cast<const uint8_t*>(view);
  PeResource r;
  const PeResult found = FindPeResource(bytes, size_t(in->size), 10, PACKAGE_RESOURCE_ID, &r);
  if (found == PE_FOUND) {
    in->base = uint64_t(r.data - bytes);
    *size = r.size;
  }
#ifdef _WIN32
  UnmapViewOfFile(view);
  CloseHandle(mapping);
#else
  munmap(view, size_t(in->size));
#endif
  switch (found) {
    case PE_FOUND:
      return true;
    case PE_NOT_PE:
      return Fail("%s: starts like a program but is not a PE file (%s)", path, r.why), false;
    case PE_DAMAGED:
      return Fail("%s: damaged PE file: %s", path, r.why), false;
    case PE_NO_RESOURCE:
      return Fail("%s: carries no package (RCDATA %d): %s", path, PACKAGE_RESOURCE_ID, r.why), false;
  }
  return false;
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
  uint64_t size;
  PackageDirectory directory;
};

// FILE: the package itself, or RCDATA 100 of a PE file.
bool LoadPackage(const char* path, InputFile* file, Package* pkg) {
  if (!OpenInput(path, file)) return false;
  pkg->size = file->size;
  uint8_t head[2];
  const uint32_t head_size = file->size < sizeof head ? uint32_t(file->size) : sizeof head;
  std::string why;
  if (!file->Read(0, head, head_size, &why)) return Fail("%s: %s", path, why.c_str()), false;
  if (LooksLikePe(head, head_size) && !FindPackageInPe(path, file, &pkg->size)) return false;
  if (pkg->size <= PACKAGE_DIRECTORY_SIZE)
    return Fail("%s: not a package: %llu bytes, no more than the %u-byte directory", path,
                (unsigned long long)pkg->size, PACKAGE_DIRECTORY_SIZE), false;
  if (!file->Read(file->base, reinterpret_cast<uint8_t*>(&pkg->directory), sizeof pkg->directory, &why))
    return Fail("%s: %s", path, why.c_str()), false;
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

// 53 lines of a name and a path are far shorter; anything longer is not a manifest.
constexpr size_t kManifestLimit = 1 << 20;

bool ReadManifest(const char* path, std::vector<ManifestLine>* entries) {
  StatBuf st;
  if (StatPath(path, &st) == 0 && S_ISDIR(st.st_mode))
    return Fail("%s: is a folder, not a manifest", path), false;
  FILE* f = fopen(path, "rb");
  if (!f) return Fail("%s: %s", path, strerror(errno)), false;
  std::string text;
  char chunk[4096];
  size_t n;
  while (text.size() <= kManifestLimit && (n = fread(chunk, 1, sizeof chunk, f)) > 0)
    text.append(chunk, n);
  const int err = ferror(f) ? errno : 0;
  fclose(f);
  if (err) return Fail("%s: %s", path, strerror(err)), false;
  if (text.size() > kManifestLimit)
    return Fail("%s: more than %zu KiB, not a manifest", path, kManifestLimit >> 10), false;
  // Text lines only: a name goes into a record, which list and extract refuse
  // unless it is printable, and a binary file's bytes do not belong in a message.
  unsigned line_no = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t c = uint8_t(text[i]);
    const bool line_end = c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n'));
    if ((c < 0x20 && c != '\t' && !line_end) || c == 0x7f)
      return Fail("%s:%u: binary data, not a text manifest", path, line_no), false;
    if (c == '\n') ++line_no;
  }
  line_no = 0;
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
    const std::string source = Shown(e.source.c_str());
    if (e.name.empty()) return Fail("%s:%u: empty entry name", path, line_no), false;
    if (e.name.size() >= PACKAGE_NAME_SIZE)
      return Fail("%s:%u: entry name of %zu bytes; a record holds at most %u", path, line_no,
                  e.name.size(), PACKAGE_NAME_SIZE - 1), false;
    // What extract and the setup program would refuse to write is refused here.
    if (const char* why = EntryNameUnsafe(e.name.c_str()))
      return Fail("%s:%u: unsafe entry name \"%s\": %s", path, line_no, e.name.c_str(), why), false;
    for (const ManifestLine& earlier : *entries)
      if (EntryNamesClash(earlier.name.c_str(), e.name.c_str()))
        return Fail("%s:%u: entry name \"%s\" is one file on Windows with \"%s\" of line %u", path,
                    line_no, e.name.c_str(), earlier.name.c_str(), earlier.line), false;
    if (entries->size() == PACKAGE_ENTRY_COUNT)
      return Fail("%s:%u: a 54th entry; a package holds exactly %u", path, line_no,
                  PACKAGE_ENTRY_COUNT), false;
    StatBuf src;
    if (StatPath(e.source.c_str(), &src) != 0)
      return Fail("%s:%u: source file %s: %s", path, line_no, source.c_str(), strerror(errno)), false;
    if (!S_ISREG(src.st_mode))
      return Fail("%s:%u: source %s is not a regular file", path, line_no, source.c_str()), false;
    e.size = uint64_t(src.st_size);
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

// A new file beside OUT, for the build to rename over OUT when it is complete.
FILE* CreateTemp(const char* out_path, std::string* temp) {
#ifdef _WIN32
  *temp = std::string(out_path) + ".partial";
  return fopen(temp->c_str(), "wb");
#else
  // A name of its own, created exclusively: never through a link or into a
  // file that someone else holds.
  *temp = std::string(out_path) + ".partial-XXXXXX";
  int fd = mkstemp(&(*temp)[0]);
  if (fd < 0) return nullptr;
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);  // what any other new file gets; mkstemp makes it private
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    remove(temp->c_str());
  }
  return f;
#endif
}

int Build(const char* manifest, const char* out_path) {
  StatBuf st;
  if (StatPath(out_path, &st) == 0 && S_ISDIR(st.st_mode))
    return Fail("%s: is a folder; OUT names the package file to write", out_path);
  std::vector<ManifestLine> entries;
  if (!ReadManifest(manifest, &entries)) return 1;
  // Written beside the output and renamed at the end: a failed build leaves no partial file.
  std::string temp;
  FILE* out = CreateTemp(out_path, &temp);
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
      Fail("%s:%u: could not read %s whole", manifest, e.line, Shown(e.source.c_str()).c_str());
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
#ifdef _WIN32
    remove(out_path);  // rename does not replace on Windows
#endif
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

// ---- the folder that extract writes into ----

// The name's folders and file, split at either separator (EntryNameUnsafe said yes).
std::vector<std::string> NameParts(const char* name) {
  std::vector<std::string> parts;
  for (const char* part = name;; ++part) {
    const size_t n = strcspn(part, "\\/");
    parts.emplace_back(part, n);
    part += n;
    if (!*part) return parts;
  }
}

// DIR itself is the user's: made with its parents, reached as the system
// resolves any path. Below it nothing is followed: a folder of an entry's path
// that is a link refuses the entry, and a file is written under a new name and
// renamed over its destination, which replaces a link, or a file linked from
// elsewhere, without touching what it points to.
class OutputFolder {
 public:
  OutputFolder() = default;
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
#ifdef _WIN32
  bool Open(const char* dir) {
    dir_ = dir;
    int err = 0;
    for (size_t i = 1; i <= dir_.size(); ++i)
      if (i == dir_.size() || dir_[i] == '/' || dir_[i] == '\\')
        if (_mkdir(dir_.substr(0, i).c_str()) != 0 && errno != EEXIST) err = errno;
    const DWORD attributes = GetFileAttributesA(dir);
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return Fail("%s: cannot make the folder: %s", dir, err ? strerror(err) : SystemText(GetLastError()).c_str()), false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Fail("%s: cannot make the folder: %s", dir, strerror(ENOTDIR)), false;
    // A folder that takes no file says so once, not once per entry.
    const std::string probe = dir_ + "\\.qvpack-probe-" + std::to_string(GetCurrentProcessId());
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
      return Fail("%s: cannot write in the folder: %s", dir, SystemText(GetLastError()).c_str()), false;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return true;
  }

  // Looks before it writes: Win32 has no openat. Enough for a tool run by
  // hand; the setup program writes only into a folder it made itself.
  bool Write(const char* name, const uint8_t* bytes, uint32_t size, std::string* why) {
    std::vector<std::string> parts = NameParts(name);
    std::string path = dir_, shown;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      path += "\\" + parts[i];
      shown += (i ? "\\" : "") + parts[i];
      DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryA(path.c_str(), nullptr))
          return *why = shown + ": " + SystemText(GetLastError()), false;
      } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return *why = shown + " is a link", false;
      } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return *why = shown + " is not a folder", false;
      }
    }
    const std::string final_path = path + "\\" + parts.back();
    const std::string temp = path + "\\." + parts.back() + ".qvpack-" + std::to_string(GetCurrentProcessId());
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return *why = SystemText(GetLastError()), false;
    DWORD done = 0;
    bool ok = size == 0 || (::WriteFile(h, bytes, size, &done, nullptr) && done == size);
    if (!ok) *why = SystemText(GetLastError());
    if (!CloseHandle(h) && ok) ok = false, *why = SystemText(GetLastError());
    if (ok && !MoveFileExA(temp.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING))
      ok = false, *why = SystemText(GetLastError());
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
  }

 private:
  std::string dir_;
#else
  ~OutputFolder() {
    if (fd_ >= 0) close(fd_);
  }

  bool Open(const char* dir) {
    // The first reason a folder could not be made is the one worth telling.
    const std::string path = dir;
    int err = 0;
    for (size_t i = 1; i <= path.size(); ++i)
      if ((i == path.size() || path[i] == '/') && mkdir(path.substr(0, i).c_str(), 0777) != 0 &&
          errno != EEXIST && !err)
        err = errno;
    fd_ = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return Fail("%s: cannot make the folder: %s", dir, strerror(err ? err : errno)), false;
    // A folder that takes no file says so once, not once per entry.
    const std::string probe = ".qvpack-probe-" + std::to_string(getpid());
    const int fd = openat(fd_, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
      return Fail("%s: cannot write in the folder: %s", dir, strerror(errno)), false;
    if (fd >= 0) {
      close(fd);
      unlinkat(fd_, probe.c_str(), 0);
    }
    return true;
  }

  bool Write(const char* name, const uint8_t* bytes, uint32_t size, std::string* why) {
    std::vector<std::string> parts = NameParts(name);
    int at = fd_;
    std::string shown;  // the folders reached so far, as the name gives them
    bool ok = true;
    for (size_t i = 0; ok && i + 1 < parts.size(); ++i) {
      const char* part = parts[i].c_str();
      shown += (i ? "\\" : "") + parts[i];
      int next = -1;
      if (mkdirat(at, part, 0777) != 0 && errno != EEXIST) {
        *why = shown + ": " + strerror(errno);
      } else if ((next = openat(at, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0) {
        const int err = errno;
        struct stat st;
        *why = fstatat(at, part, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)
                   ? shown + " is a link"
                   : shown + ": " + strerror(err);
      }
      if (at != fd_) close(at);
      at = next;
      ok = next >= 0;
    }
    if (!ok) return false;
    const char* leaf = parts.back().c_str();
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
      temp = std::string(".") + leaf + ".qvpack-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
      fd = openat(at, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      *why = strerror(errno);
      ok = false;
    }
    for (uint32_t done = 0; ok && done < size;) {
      const ssize_t n = write(fd, bytes + done, size - done);
      if (n > 0) {
        done += uint32_t(n);
      } else if (n == 0 || errno != EINTR) {
        *why = n ? strerror(errno) : "the file takes no more bytes";
        ok = false;
      }
    }
    if (fd >= 0 && close(fd) != 0 && ok) {
      *why = strerror(errno);
      ok = false;
    }
    if (ok && renameat(at, temp.c_str(), at, leaf) != 0) {
      *why = strerror(errno);
      ok = false;
    }
    if (!ok && fd >= 0) unlinkat(at, temp.c_str(), 0);
    if (at != fd_) close(at);
    return ok;
  }

 private:
  int fd_ = -1;
#endif
};

// ---- verify and extract ----

struct Walker {
  InputFile* file;
  OutputFolder* out = nullptr;
  uint8_t* buffer = nullptr;
  uint32_t capacity = 0;
  uint32_t written = 0;
  std::string why;  // why the last read or write failed
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
    case ENTRY_WRITE_FAILED: return "not written";
    case ENTRY_UNSAFE_NAME: return "unsafe name, not written";
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
  } else if (outcome == ENTRY_WRITE_FAILED) {
    printf("FAIL %s: not written: %s\n", name, w->why.c_str());
  } else if (outcome == ENTRY_UNREADABLE) {
    printf("FAIL %s: not read: %s\n", name, w->why.c_str());
  } else {
    printf("FAIL %s: %s\n", name, OutcomeText(outcome));
  }
}

// The stored bytes straight into the buffer, where the walk descrambles them.
const uint8_t* ReadStored(void* user, uint64_t offset, uint32_t size, uint8_t* room) {
  Walker* w = static_cast<Walker*>(user);
  return w->file->Read(w->file->base + offset, room, size, &w->why) ? room : nullptr;
}

int WriteEntry(void* user, const char* name, const uint8_t* plain, uint32_t size) {
  Walker* w = static_cast<Walker*>(user);
  w->why.clear();
  return w->out->Write(name, plain, size, &w->why);
}

int Walk(const char* path, const char* dir, const char* filter) {
  InputFile file;
  Package pkg;
  if (!LoadPackage(path, &file, &pkg)) return 1;
  bool known = !filter;
  for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT && !known; ++i)
    known = EntryNameEquals(&pkg.directory.entries[i], filter);
  if (!known) return Fail("%s: no entry is named %s", path, Shown(filter).c_str());
  Walker w;
  w.file = &file;
  OutputFolder out;
  if (dir) {
    // A package that names a place outside DIR, or one file twice, is
    // refused whole, before any write.
    for (uint32_t i = 0; i < PACKAGE_ENTRY_COUNT; ++i) {
      const PackageEntry* e = &pkg.directory.entries[i];
      if (filter && !EntryNameEquals(e, filter)) continue;
      if (const char* why = EntryNameUnsafe(e->name))
        return Fail("%s: unsafe entry name \"%s\" (record %u): %s; nothing extracted", path,
                    e->name, i, why);
      for (uint32_t j = 0; j < i; ++j) {
        const PackageEntry* earlier = &pkg.directory.entries[j];
        if ((!filter || EntryNameEquals(earlier, filter)) && EntryNamesClash(earlier->name, e->name))
          return Fail("%s: entry names \"%s\" (record %u) and \"%s\" (record %u) are one file on "
                      "Windows; nothing extracted", path, earlier->name, j, e->name, i);
      }
    }
    if (!out.Open(dir)) return 1;
    w.out = &out;
  }
  PackageWalk walk = {&w, GrowBuffer, dir ? WriteEntry : nullptr, Report, ReadStored};
  uint32_t failures = WalkPackage(nullptr, pkg.size, &pkg.directory, filter, &walk);
  if (failures)
    printf("%u of %u entries failed\n", failures, PACKAGE_ENTRY_COUNT);
  else if (dir)
    printf("all %u entries verified, %u written\n", PACKAGE_ENTRY_COUNT, w.written);
  else
    printf("all %u entries verified\n", PACKAGE_ENTRY_COUNT);
  return failures ? 1 : 0;
}

// ---- the command line ----

const char kUsage[] =
    "usage: qvpack build MANIFEST OUT      make a package from 53 lines NAME<TAB>SOURCE\n"
    "       qvpack list FILE               show its 53 records\n"
    "       qvpack verify FILE             check every entry against its digest\n"
    "       qvpack extract FILE DIR [NAME] verify, and write every entry (or NAME) below DIR\n"
    "       qvpack --help | -h             this text\n"
    "FILE is a package or a program that carries one as RCDATA 100.\n"
    "Exit codes: 0 done; 1 refused or an entry failed (the reason on stderr, or FAIL\n"
    "lines on stdout); 2 wrong use of the command line.\n";

struct Verb {
  const char* name;
  int min, max;  // arguments after the verb
  const char* args[3];
};

const Verb kVerbs[] = {
    {"build", 2, 2, {"MANIFEST", "OUT"}},
    {"list", 1, 1, {"FILE"}},
    {"verify", 1, 1, {"FILE"}},
    {"extract", 2, 3, {"FILE", "DIR", "NAME"}},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no verb given");
  const std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h") {
    fputs(kUsage, stdout);
    return 0;
  }
  const Verb* verb = nullptr;
  for (const Verb& v : kVerbs)
    if (cmd == v.name) verb = &v;
  if (!verb) return UsageError("unknown verb \"%s\"", Shown(cmd.c_str()).c_str());
  const int n = argc - 2;
  if (n < verb->min || n > verb->max) {
    std::string wanted;
    for (int i = 0; i < verb->max; ++i)
      wanted += std::string(i ? " " : "") + (i < verb->min ? "" : "[") + verb->args[i] + (i < verb->min ? "" : "]");
    return UsageError("%s takes %s, not %d argument%s", verb->name, wanted.c_str(), n, n == 1 ? "" : "s");
  }
  for (int i = 0; i < n; ++i)
    if (!argv[2 + i][0]) return UsageError("%s: %s is empty", verb->name, verb->args[i]);
  if (cmd == "build") return Build(argv[2], argv[3]);
  if (cmd == "list") return List(argv[2]);
  if (cmd == "verify") return Walk(argv[2], nullptr, nullptr);
  return Walk(argv[2], argv[3], n == 3 ? argv[4] : nullptr);
}
