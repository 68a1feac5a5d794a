// The file operations that Windows carries out at its next start, as Session
// Manager keeps them (value PendingFileRenameOperations, REG_MULTI_SZ, UTF-16):
// pairs of source and destination, each NUL-terminated, usually followed by one
// more NUL; an empty destination deletes the source. The value is shared with
// Windows and every other program, so it is edited pair by pair, never rebuilt.
// Pure: no windows.h.
#pragma once
#include <cstddef>

enum PendingEdit {
  PENDING_KEEP,    // nothing to withdraw, or data that is not whole pairs: leave the value as it is
  PENDING_WRITE,   // data[0..*count) is the edited value
  PENDING_DELETE,  // nothing is left: delete the value
};

// Withdraws the pending deletions (empty destination) whose source is folder
// or lies inside it, in the "\??\C:\..." or the plain "C:\..." form (also
// "\\?\C:\..."), letters compared without regard to ASCII case. folder must be
// a drive path below the root ("C:\x" at least); a trailing backslash is
// ignored. Every other pair, and what follows the last pair, keeps its units and
// its order. Edits data in place; *count is its length in 16-bit units.
PendingEdit WithdrawPendingDeletions(char16_t* data, size_t* count, const char16_t* folder);
