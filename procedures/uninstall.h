#pragma once
#include "startup/context.h"

// 0, -1 (package unreadable, STATUS_FAILED posted), -604 or -605 (a driver
// setup program could not be run; nothing removed, nothing posted).
int32_t UninstallProcedure(SetupContext* context);

// Deletes the six shortcuts and the folder <programs_folder>\Halcyra\Quorvane.
void RemoveStartMenuEntries(const char* programs_folder);
// Deletes the autostart shortcut and switches the tray icon values off.
void RemoveAutostart();
// What is left of folder after its removal (files in use, the running
// uninstaller copy): deleted now where possible, else scheduled for deletion at
// the next restart, contents before their folders. 1 when nothing is left or
// all of it was scheduled.
int ScheduleRemovalAtRestart(const char* folder);
