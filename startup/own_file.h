// The setup program's own file: held from the first thing the program does,
// and proven to be the very image that this process runs.
#pragma once
#include <windows.h>

#include <cstdint>

#include "startup/context.h"

struct OwnFile {
  HANDLE file;            // null when not held (or not proven ours)
  uint32_t error;         // why file is null: the system's error code
  wchar_t name[MAX_PATH];  // its long file name; empty when unknown
};

// Opens the file at path for reading, sharing read and delete only: a rename
// (even of the running program) changes nothing read through the handle, and
// nobody can write to the file while it is held. 1 when held.
int OpenOwnFile(const wchar_t* path, OwnFile* own);
// Keeps the held file only when it is the image that module was loaded from;
// otherwise closes it and gives ERROR_FILE_INVALID as the reason. 1 when ours.
int ProveOwnImage(OwnFile* own, HMODULE module);
// Hands the held file (or the reason why there is none) and its long name, in
// exact ANSI form, to the context, which keeps it for the process's life.
void HoldSetupFile(SetupContext* context, const OwnFile* own);
