#pragma once
#include "startup/context.h"

// 0, -1 (package unreadable), -604 or -605 (a driver setup program could not
// be run; nothing removed). Failures post STATUS_FAILED with their text.
int32_t UninstallProcedure(SetupContext* context);

// Whether the product's Uninstall entry exists, with the UninstallString that
// the install writes last, in the registry view that the install writes it to.
int UninstallEntryPresent();

// Deletes the six shortcuts in <programs_folder>\Halcyra\Quorvane, then that
// folder when it is empty; nothing when either part is a link.
void RemoveStartMenuEntries(const char* programs_folder);
// Deletes the autostart shortcut and switches the tray icon values off.
void RemoveAutostart();
// Removes folder as DeleteFolderTree does, but what cannot be deleted now
// (files in use, the running uninstaller copy, links that will not go) is
// scheduled for deletion at the next restart, contents before their folders;
// links are scheduled as themselves. 1 when nothing is left or all of it was
// scheduled. own_file: the open file this program runs from, or null.
int ScheduleRemovalAtRestart(const char* folder, HANDLE own_file = nullptr);
