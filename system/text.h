// Bounded text helpers for the fixed ANSI buffers that paths and messages live in.
// Every function keeps the destination NUL-terminated and reports 0, leaving the
// destination as it was, when the result would not fit: a path that does not fit
// is refused, never cut short and used.
#pragma once
#include <cstddef>

// dst = src. 1 on success.
int CopyText(char* dst, size_t cap, const char* src);
// dst += src. 1 on success.
int AppendText(char* dst, size_t cap, const char* src);
// dst += "\" (only when dst does not already end in one) + part.
int AppendPathPart(char* dst, size_t cap, const char* part);
// dst = left + "\" (unless left already ends in one) + right.
int JoinPath(char* dst, size_t cap, const char* left, const char* right);
