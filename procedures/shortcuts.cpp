// Start-menu shortcuts written through the shell link objects.
#include "procedures/shortcuts.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "system/files.h"
#include "system/path_utils.h"
#include "system/text.h"

const ShortcutRow SHORTCUT_INSTALL_ORDER[SHORTCUT_COUNT] = {
    {"Readme", "readme.txt"},
    {"Line Driver Panel", "HCLINE_ControlPanel.exe"},
    {"Aux Line Driver Panel", "HCQVAUX_ControlPanel.exe"},
    {"Quorvane Bravora", "QuorvanePro.exe"},
    {"Quick Keys", "QuorvaneQuickKeys.exe"},
    {"Quorvane", "Quorvane.exe"},
};

const char* const SHORTCUT_REMOVAL_ORDER[SHORTCUT_COUNT] = {
    "Quorvane", "Line Driver Panel", "Readme", "Quick Keys", "Quorvane Bravora", "Aux Line Driver Panel",
};

const char START_MENU_SUBFOLDER[] = "Halcyra\\Quorvane";
const char AUTOSTART_SHORTCUT[] = "Quorvane (Halcyra)";

namespace {

constexpr size_t LINK_PATH_SIZE = 2048;

// folder + "\" (unless already there) + display name + ".LNK". 0 when it does not fit.
int FormLinkPath(char* out, const char* folder, const char* display_name) {
  return JoinPath(out, LINK_PATH_SIZE, folder, display_name) &&
         AppendText(out, LINK_PATH_SIZE, ".LNK");
}

// 1 when nothing is there, or a folder or file that is no link. Attributes
// that cannot be read for another reason leave the question open: no.
int NoLinkAt(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The bytes saved into the memory stream, written to path.
HRESULT WriteStream(IStream* stream, const char* path) {
  STATSTG stat;
  HGLOBAL memory = nullptr;
  HRESULT result = stream->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(result)) result = GetHGlobalFromStream(stream, &memory);
  if (FAILED(result)) return result;
  // The memory block may be larger than what was saved into it.
  if (stat.cbSize.QuadPart > GlobalSize(memory)) return E_UNEXPECTED;
  const void* bytes = GlobalLock(memory);
  if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
  result = WriteWholeFile(path, bytes, static_cast<uint32_t>(stat.cbSize.QuadPart)) ? S_OK
                                                                                   : HRESULT_FROM_WIN32(GetLastError());
  GlobalUnlock(memory);
  return result;
}

}  // namespace

int StartMenuFolder(char* out, size_t out_size, const char* programs_folder) {
  char parent[LINK_PATH_SIZE];
  if (!JoinPath(out, out_size, programs_folder, START_MENU_SUBFOLDER) || !CopyText(parent, sizeof parent, out))
    return 0;
  CutAtLastBackslash(parent);
  return NoLinkAt(parent) && NoLinkAt(out);
}

HRESULT CreateShortcut(const char* target, const char* folder, const char* display_name,
                       const char* arguments) {
  char link_path[LINK_PATH_SIZE];
  char work_dir[LINK_PATH_SIZE];
  // A path that does not fit is refused rather than saved under a cut name.
  if (!FormLinkPath(link_path, folder, display_name) ||
      !CopyText(work_dir, sizeof(work_dir), target)) {
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  }
  CutAtLastBackslash(work_dir);

  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;

  link->SetPath(target);
  link->SetDescription(display_name);
  link->SetArguments(arguments);
  link->SetWorkingDirectory(work_dir);

  // Saved into memory and written by the program's one writer, which creates
  // the file new: the shell's own save would write through a link put at the
  // shortcut's name, into whatever file it points to.
  IPersistStream* persist = nullptr;
  IStream* stream = nullptr;
  result = link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(result)) result = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (SUCCEEDED(result)) result = persist->Save(stream, TRUE);
  if (SUCCEEDED(result)) result = WriteStream(stream, link_path);
  if (stream) stream->Release();
  if (persist) persist->Release();
  link->Release();
  return result;
}

BOOL DeleteShortcut(const char* folder, const char* display_name) {
  char link_path[LINK_PATH_SIZE];
  if (!FormLinkPath(link_path, folder, display_name)) return FALSE;
  // Nothing there is nothing deleted.
  if (GetFileAttributesA(link_path) == INVALID_FILE_ATTRIBUTES) return FALSE;
  RetryClock clock = {0, 0};
  return RemoveFile(link_path, &clock);
}
