// The log of a run: one new file in the user's temporary folder per run,
// "Quorvane Setup 2026-12-09 23.15.02.log" by the local time of its first line,
// for support to read what a silent run never shows. Every function may be
// called from any thread at any time; a log that cannot be made or written
// changes nothing else, the last error included.
#pragma once
#include <cstdint>

// One line, formatted by wvsprintfA (whose output stops at 1024 chars).
void RunLogLine(const char* format, ...);
// A step begins; the one under way, if any, ends as done.
void RunLogStep(const char* name);
// A failure box, exactly as the window shows it: the step under way ends as
// failed with code, then the caption and every line of the text.
void RunLogFailure(int32_t code, const char* caption, const char* text);
// The run ends with this exit code: the step under way ends with it.
void RunLogExit(int32_t code);
