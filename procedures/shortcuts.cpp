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

  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    WCHAR wide[LINK_PATH_SIZE];
    if (MultiByteToWideChar(CP_ACP, 0, link_path, -1, wide, LINK_PATH_SIZE) == 0) {
      DWORD error = GetLastError();
      result = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    } else {
      result = file->Save(wide, TRUE);
    }
    file->Release();
  }
  link->Release();
  return result;
}

BOOL DeleteShortcut(const char* folder, const char* display_name) {
  char link_path[LINK_PATH_SIZE];
  if (!FormLinkPath(link_path, folder, display_name)) return FALSE;
  ClearReadOnly(link_path);
  return DeleteFileA(link_path);
}
