// Reading and extracting the package that the setup program carries (RCDATA 100).
#pragma once
#include "startup/context.h"

int ReadPackageDirectory(SetupContext* context);
struct FileFailure;
// filter: null for every entry, or the exact (case-sensitive) name of one entry.
// 0, -1 (no package), or -100 - n for n failed entries. failure, when given,
// receives the first file that could not be written and the system's reason.
int ExtractPackage(SetupContext* context, const char* filter, FileFailure* failure = nullptr);
int DeletePackageFiles(SetupContext* context);
