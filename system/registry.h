// Registry helpers. 1 = success, 0 = failure; no messages.
#pragma once
#include <windows.h>
#include <cstdint>

int WriteMachineString(const char* key_path, const char* value_name, const char* text);
int WriteMachineDword(const char* key_path, const char* value_name, uint32_t value);
// Reads a REG_SZ value under HKEY_CURRENT_USER into out (out_size bytes); the
// result is always NUL-terminated. A text that does not fit out whole gives 0.
// On 0, out is untouched.
int ReadUserString(const char* key_path, const char* value_name, char* out, uint32_t out_size);
// A folder path stored as REG_SZ under HKEY_CURRENT_USER, read in its wide
// form and kept only when its ANSI form names the same folder (AnsiPathFromWide).
// 0 leaves out empty: the folder is unknown.
int ReadUserPath(const char* key_path, const char* value_name, char* out, uint32_t out_size);
int WriteUserDword(const char* key_path, const char* value_name, uint32_t value);
int RemoveRegistryTree(HKEY parent, const char* key_path);
// 1 when the key under HKEY_LOCAL_MACHINE, in the view that WriteMachineString
// writes to, holds the value (of any type).
int MachineValueExists(const char* key_path, const char* value_name);
// Withdraws the deletions that Windows would carry out at its next start
// (PendingFileRenameOperations) of folder and of everything inside it, from a
// value of any shape or type; every other byte stays exactly as it was, and
// what another program writes meanwhile is edited, not overwritten. 1 when none
// of ours is left (or there was none, or no value); 0 when the value could not
// be read or written back.
int WithdrawRestartDeletions(const char* folder);
