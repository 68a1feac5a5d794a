// Paths that the system hands over in their wide form, brought into the
// program's 8-bit ANSI buffers only when nothing is changed on the way.
#pragma once
#include <cstddef>

// out = the ANSI form of wide, exactly: no character replaced by a default or
// a best-fit look-alike ("Łukasz" must never become "Lukasz", another folder).
// When the long form has no exact ANSI form, the short (8.3) form is tried,
// which is ASCII on volumes that keep short names. 1 on success; 0 leaves out
// empty: the path is unknown to an ANSI caller (an empty path is unknown too).
int AnsiPathFromWide(const wchar_t* wide, char* out, size_t out_size);
// The same conversion without the short-name fallback: 1 when text has an
// exact ANSI form that fits.
int ExactAnsiText(const wchar_t* text, char* out, size_t out_size);
// out = the wide form of one of the program's ANSI paths or names, which are
// exact by the conversion above or constants. 1 on success; 0 with the
// system's reason as the last error (too long, or not text of the code page).
int WideFromAnsi(const char* text, wchar_t* out, size_t out_size);
// Whether two file names (no folders) name one file, as Windows compares
// them: equal once the system has upper-cased both, with no code page on the
// way. 0 for names longer than MAX_PATH.
int SameFileName(const wchar_t* a, const wchar_t* b);
