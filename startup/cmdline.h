// Command-line switches. Pure: no windows.h.
#pragma once
#include <cstdint>

// Process-wide, 0 at load, set to 1 only by ParseCommandLine, never cleared.
extern int32_t SilentFlag;     // "-h" or "-H"
extern int32_t InstallFlag;    // "-i" (lower case only)
extern int32_t UninstallFlag;  // "-u" or "-U"

// Sets the flags from the argument text (may be null).
void ParseCommandLine(const char* text);
// The argument text of a full process command line: the program name and the
// blanks after it removed.
const char* SkipProgramName(const char* command_line);
