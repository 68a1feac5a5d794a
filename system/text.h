// Bounded text helpers for the fixed ANSI buffers that paths and messages live in.
// Every function keeps the destination NUL-terminated and reports 0, leaving the
// destination as it was, when the result would not fit: a path that does not fit
// is refused, never cut short and used. The wide forms are the same helpers for
// the paths that the program keeps in UTF-16 (names it found on disk).
#pragma once
#include <cstddef>

// dst = src. 1 on success.
int CopyText(char* dst, size_t cap, const char* src);
int CopyText(wchar_t* dst, size_t cap, const wchar_t* src);
// dst += src. 1 on success.
int AppendText(char* dst, size_t cap, const char* src);
int AppendText(wchar_t* dst, size_t cap, const wchar_t* src);
// dst += "\" (only when dst does not already end in one) + part.
int AppendPathPart(char* dst, size_t cap, const char* part);
int AppendPathPart(wchar_t* dst, size_t cap, const wchar_t* part);
// dst = left + "\" (unless left already ends in one) + right.
int JoinPath(char* dst, size_t cap, const char* left, const char* right);
