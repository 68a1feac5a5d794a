// The setup program's own file, held and proven ours. The uninstaller copy is
// made from it and runs elevated later: it must be this program, not whatever
// stands at this program's path.
#include "startup/own_file.h"

#include <cstddef>
#include <cstring>

#include "system/ansi_path.h"

namespace {

// ntdll's export, not declared by the headers: NTSTATUS NTAPI (PVOID, PVOID),
// STATUS_SUCCESS (0) when both views are of one file.
using AreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID file1_mapped_as_image, PVOID file2_mapped);

// size bytes at offset of the file equal memory.
int FileBytesEqual(HANDLE file, DWORD offset, const uint8_t* memory, DWORD size) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != offset) return 0;
  uint8_t piece[4096];
  for (DWORD at = 0; at < size;) {
    const DWORD want = size - at < sizeof piece ? size - at : static_cast<DWORD>(sizeof piece);
    DWORD got = 0;
    if (!ReadFile(file, piece, want, &got, nullptr) || got != want || memcmp(piece, memory + at, want) != 0) return 0;
    at += want;
  }
  return 1;
}

// Whether the open file is module's image without asking the system: the
// headers (but for the image base, which the loader writes when it moves the
// image) and the resource data, read from the file, equal the loaded image's.
int FileMatchesLoadedImage(HANDLE file, HMODULE module) {
  // A module loaded as data (its handle's low bits set) is no image.
  if (!file || !module || (reinterpret_cast<uintptr_t>(module) & 3) != 0) return 0;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(module);
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 4096) return 0;
  const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
  const DWORD headers = nt->OptionalHeader.SizeOfHeaders;
  const DWORD image_base_at = static_cast<DWORD>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader.ImageBase);
  const DWORD image_base_end = image_base_at + sizeof nt->OptionalHeader.ImageBase;
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  const WORD count = nt->FileHeader.NumberOfSections;
  if (headers < image_base_end || headers > nt->OptionalHeader.SizeOfImage ||
      reinterpret_cast<const uint8_t*>(sections + count) > base + headers)
    return 0;
  if (!FileBytesEqual(file, 0, base, image_base_at) ||
      !FileBytesEqual(file, image_base_end, base + image_base_end, headers - image_base_end))
    return 0;
  // The code is not compared: the loader binds imports into it and the
  // runtime patches it. The resources, the package among them, are read as
  // they lie; the section table, equal above, says where the file keeps them.
  const IMAGE_DATA_DIRECTORY& resources = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE];
  if (resources.Size == 0) return 1;
  for (WORD i = 0; i < count; ++i) {
    const IMAGE_SECTION_HEADER& section = sections[i];
    if (resources.VirtualAddress < section.VirtualAddress ||
        resources.VirtualAddress - section.VirtualAddress >= section.SizeOfRawData)
      continue;
    const DWORD into = resources.VirtualAddress - section.VirtualAddress;
    if (resources.Size > section.SizeOfRawData - into) return 0;
    return FileBytesEqual(file, section.PointerToRawData + into, base + resources.VirtualAddress, resources.Size);
  }
  return 0;
}

// Whether the open file is module's image: the same file as the system sees
// it where ntdll can tell, else by what the loader does not change.
int FileIsModuleImage(HANDLE file, HMODULE module) {
  if (!file || !module) return 0;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto same = ntdll == nullptr ? nullptr
                               : reinterpret_cast<AreMappedFilesTheSameFn>(
                                     reinterpret_cast<void*>(GetProcAddress(ntdll, "NtAreMappedFilesTheSame")));
  if (same == nullptr) return FileMatchesLoadedImage(file, module);
  // The held file mapped as an image, as the loader mapped ours: one file
  // when the system says both views are of it.
  // Only the system's "not the same" says no: a mapping that the machine
  // refuses (a scanner's policy, a share) leaves the comparison of the bytes,
  // which a file other than ours does not pass either.
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
  void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  const int ours = view != nullptr ? same(module, view) == 0 : FileMatchesLoadedImage(file, module);
  if (view != nullptr) UnmapViewOfFile(view);
  if (mapping != nullptr) CloseHandle(mapping);
  return ours;
}

}  // namespace

int OpenOwnFile(const wchar_t* path, OwnFile* own) {
  own->file = nullptr;
  own->error = ERROR_INVALID_NAME;
  own->name[0] = L'\0';
  if (!path || !path[0]) return 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    own->error = GetLastError();
    return 0;
  }
  own->file = file;
  own->error = 0;
  // The long name, also when we were started by the short one.
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(path, &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    memcpy(own->name, found.cFileName, sizeof own->name);
    own->name[MAX_PATH - 1] = L'\0';
  }
  return 1;
}

int ProveOwnImage(OwnFile* own, HMODULE module) {
  if (!own->file) return 0;
  if (FileIsModuleImage(own->file, module)) return 1;
  CloseHandle(own->file);
  own->file = nullptr;
  own->error = ERROR_FILE_INVALID;
  return 0;
}

void HoldSetupFile(SetupContext* context, const OwnFile* own) {
  context->setup_file = own->file;
  context->setup_file_error = own->file ? 0 : own->error;
  ExactAnsiText(own->name, context->setup_name, sizeof context->setup_name);
}
