// Start-menu shortcuts (.LNK) through the shell link objects.
#pragma once
#include <windows.h>

struct ShortcutRow {
  const char* display_name;
  const char* target_file;
};
constexpr int SHORTCUT_COUNT = 6;
extern const ShortcutRow SHORTCUT_INSTALL_ORDER[SHORTCUT_COUNT];
extern const char* const SHORTCUT_REMOVAL_ORDER[SHORTCUT_COUNT];  // display names
extern const char START_MENU_SUBFOLDER[];  // "Halcyra\\Quorvane"
extern const char AUTOSTART_SHORTCUT[];    // "Quorvane (Halcyra)"

// out = programs_folder\Halcyra\Quorvane, when neither "Halcyra" nor
// "Halcyra\Quorvane" is a link (a reparse point): the user can put one there,
// and the elevated program neither writes nor deletes through it. A missing
// part is no link. 0 when the folder is to be skipped.
int StartMenuFolder(char* out, size_t out_size, const char* programs_folder);
HRESULT CreateShortcut(const char* target, const char* folder, const char* display_name, const char* arguments);
BOOL DeleteShortcut(const char* folder, const char* display_name);
