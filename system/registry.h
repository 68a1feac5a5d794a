// Registry helpers. 1 = success, 0 = failure; no messages.
#pragma once
#include <windows.h>
#include <cstdint>

int WriteMachineString(const char* key_path, const char* value_name, const char* text);
// Reads a REG_SZ value under HKEY_CURRENT_USER into out (out_size bytes); the
// result is always NUL-terminated. A text that does not fit out whole gives 0.
// On 0, out is untouched.
int ReadUserString(const char* key_path, const char* value_name, char* out, uint32_t out_size);
int WriteUserDword(const char* key_path, const char* value_name, uint32_t value);
int RemoveRegistryTree(HKEY parent, const char* key_path);
// 1 when the key under HKEY_LOCAL_MACHINE, in the view that WriteMachineString
// writes to, holds the value (of any type).
int MachineValueExists(const char* key_path, const char* value_name);
// Withdraws the deletions that Windows would carry out at its next start
// (PendingFileRenameOperations) of folder and of everything inside it; every
// other pending entry stays exactly as it was, and a value that is not whole
// pairs is left alone. 0 when the value could not be read or written back.
int WithdrawRestartDeletions(const char* folder);
