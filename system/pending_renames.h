// The file operations that Windows carries out at its next start, as Session
// Manager keeps them (value PendingFileRenameOperations, REG_MULTI_SZ, UTF-16):
// pairs of source and destination, each NUL-terminated, usually followed by one
// more NUL; an empty destination deletes the source. The value is shared with
// Windows and every other program, so it is edited pair by pair, never rebuilt.
// Pure: no windows.h.
#pragma once
#include <cstddef>

enum PendingEdit {
  PENDING_KEEP,    // nothing to withdraw: leave the value as it is
  PENDING_WRITE,   // data[0..*size) is the edited value
  PENDING_DELETE,  // nothing but NULs is left: delete the value
};

// Withdraws the pending deletions (empty destination) whose source is folder
// or lies inside it, in the "\??\C:\..." or the plain "C:\..." form (also
// "\\?\C:\..."), letters compared without regard to ASCII case. folder must be
// a drive path below the root ("C:\x" at least); a trailing backslash is
// ignored.
//
// data is the value's bytes as stored, of any type and length: 16-bit
// little-endian units, the strings read in order to the end of the data and
// taken two by two, as Session Manager takes them, across empty strings too.
// A last source without a destination is no pair; a half unit at the end is no
// text. Every other byte, the odd one included, keeps its place in the order.
// Edits data in place; *size is its length in bytes.
PendingEdit WithdrawPendingDeletions(unsigned char* data, size_t* size, const char16_t* folder);
