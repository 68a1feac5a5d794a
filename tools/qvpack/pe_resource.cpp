#include "tools/qvpack/pe_resource.h"

#include <cstring>

namespace {

// A bounded view: every read checks its range and fails instead of reading past.
struct View {
  const uint8_t* p;
  size_t size;
  bool Has(uint64_t at, uint64_t n) const { return at <= size && n <= size - at; }
  bool U16(uint64_t at, uint32_t* v) const {
    if (!Has(at, 2)) return false;
    *v = uint32_t(p[at]) | uint32_t(p[at + 1]) << 8;
    return true;
  }
  bool U32(uint64_t at, uint32_t* v) const {
    if (!Has(at, 4)) return false;
    *v = uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 |
         uint32_t(p[at + 3]) << 24;
    return true;
  }
};

struct Sections {
  View file;
  uint64_t table;  // file offset of the section table
  uint32_t count;
};

// The section whose raw data holds `rva`: its raw file offset and size, and
// how far into it `rva` lies. False when no section holds it or the table is cut.
bool FindSection(const Sections& s, uint32_t rva, uint32_t* raw_at, uint32_t* raw_size, uint64_t* delta) {
  for (uint32_t i = 0; i < s.count; ++i) {
    uint64_t at = s.table + 40ull * i;
    uint32_t va;
    if (!s.file.U32(at + 12, &va) || !s.file.U32(at + 16, raw_size) || !s.file.U32(at + 20, raw_at))
      return false;
    if (rva < va || uint64_t(rva) - va >= *raw_size) continue;
    *delta = uint64_t(rva) - va;
    return true;
  }
  return false;
}

// Maps [rva, rva + n) to a file offset when it lies in one section's raw data.
bool RvaToOffset(const Sections& s, uint32_t rva, uint32_t n, uint64_t* offset) {
  uint32_t raw_at, raw_size;
  uint64_t delta;
  if (!FindSection(s, rva, &raw_at, &raw_size, &delta)) return false;
  if (uint64_t(n) > raw_size - delta) return false;
  if (!s.file.Has(uint64_t(raw_at) + delta, n)) return false;
  *offset = uint64_t(raw_at) + delta;
  return true;
}

// The bytes from `rva` to the end of its section's raw data (at most max_len).
bool RvaSpan(const Sections& s, uint32_t rva, uint32_t max_len, View* out) {
  uint32_t raw_at, raw_size;
  uint64_t delta;
  if (!FindSection(s, rva, &raw_at, &raw_size, &delta)) return false;
  uint64_t start = uint64_t(raw_at) + delta;
  if (start >= s.file.size) return false;
  uint64_t len = raw_size - delta;
  if (len > s.file.size - start) len = s.file.size - start;
  if (len > max_len) len = max_len;
  *out = View{s.file.p + start, size_t(len)};
  return true;
}

PeResult Damaged(PeResource* out, const char* why) {
  out->why = why;
  return PE_DAMAGED;
}

// In the resource directory at `dir` (offset within the resource section view),
// the entry with numeric id `id`; `*target` gets its OffsetToData.
enum Lookup { LOOKUP_FOUND, LOOKUP_ABSENT, LOOKUP_BAD };
Lookup FindEntry(const View& res, uint32_t dir, uint32_t id, bool first, uint32_t* target) {
  uint32_t named, ids;
  if (!res.U16(uint64_t(dir) + 12, &named) || !res.U16(uint64_t(dir) + 14, &ids)) return LOOKUP_BAD;
  for (uint32_t i = 0; i < named + ids; ++i) {
    uint64_t at = uint64_t(dir) + 16 + 8ull * i;
    uint32_t name, data;
    if (!res.U32(at, &name) || !res.U32(at + 4, &data)) return LOOKUP_BAD;
    if (first || (!(name & 0x80000000u) && name == id)) {
      *target = data;
      return LOOKUP_FOUND;
    }
  }
  return LOOKUP_ABSENT;
}

}  // namespace

bool LooksLikePe(const uint8_t* file, size_t size) {
  return size >= 2 && file[0] == 'M' && file[1] == 'Z';
}

PeResult FindPeResource(const uint8_t* file, size_t size, uint32_t type, uint32_t id,
                        PeResource* out) {
  out->data = nullptr;
  out->size = 0;
  out->why = nullptr;
  View v = {file, size};
  uint32_t pe_at, sig;
  if (!LooksLikePe(file, size) || !v.U32(0x3c, &pe_at) || !v.U32(pe_at, &sig) ||
      sig != 0x00004550u) {
    out->why = "no PE signature";
    return PE_NOT_PE;
  }
  uint32_t section_count, optional_size, magic;
  if (!v.U16(uint64_t(pe_at) + 6, &section_count) || !v.U16(uint64_t(pe_at) + 20, &optional_size))
    return Damaged(out, "truncated file header");
  const uint64_t optional = uint64_t(pe_at) + 24;
  if (!v.Has(optional, optional_size) || !v.U16(optional, &magic))
    return Damaged(out, "truncated optional header");
  uint64_t dirs_at;
  if (magic == 0x10b)
    dirs_at = 92;  // PE32: NumberOfRvaAndSizes, then the data directories
  else if (magic == 0x20b)
    dirs_at = 108;  // PE32+
  else
    return Damaged(out, "unknown optional header");
  uint32_t dir_count, res_rva, res_size;
  if (dirs_at + 4 > optional_size || !v.U32(optional + dirs_at, &dir_count))
    return Damaged(out, "truncated optional header");
  if (dir_count <= 2 || dirs_at + 4 + 3 * 8 > optional_size) {
    out->why = "no resource directory";
    return PE_NO_RESOURCE;
  }
  v.U32(optional + dirs_at + 4 + 16, &res_rva);
  v.U32(optional + dirs_at + 4 + 20, &res_size);
  if (res_rva == 0 || res_size == 0) {
    out->why = "no resource directory";
    return PE_NO_RESOURCE;
  }
  Sections s = {v, optional + optional_size, section_count};
  if (!v.Has(s.table, 40ull * section_count)) return Damaged(out, "truncated section table");
  View res;
  if (!RvaSpan(s, res_rva, res_size, &res) || res.size < 16)
    return Damaged(out, "resource directory outside the file");

  uint32_t level = 0;  // the root
  const uint32_t want[3] = {type, id, 0};
  for (int depth = 0; depth < 3; ++depth) {
    uint32_t target;
    Lookup l = FindEntry(res, level, want[depth], depth == 2, &target);
    if (l == LOOKUP_BAD) return Damaged(out, "resource directory runs past its end");
    if (l == LOOKUP_ABSENT) {
      out->why = depth == 0 ? "no resource of that type" : "no resource of that id";
      return PE_NO_RESOURCE;
    }
    if (depth < 2) {
      if (!(target & 0x80000000u)) return Damaged(out, "resource entry is not a directory");
      level = target & 0x7fffffffu;
    } else {
      if (target & 0x80000000u) return Damaged(out, "resource language is a directory");
      level = target;
    }
  }
  uint32_t data_rva, data_size;
  if (!res.U32(level, &data_rva) || !res.U32(uint64_t(level) + 4, &data_size))
    return Damaged(out, "resource data entry outside the directory");
  uint64_t data_at;
  if (data_size && !RvaToOffset(s, data_rva, data_size, &data_at))
    return Damaged(out, "resource data outside the file");
  out->data = data_size ? file + data_at : file;
  out->size = data_size;
  return PE_FOUND;
}
