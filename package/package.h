// Reading and extracting the package that the setup program carries (RCDATA 100).
#pragma once
#include "startup/context.h"

int ReadPackageDirectory(SetupContext* context);
// filter: null for every entry, or the exact (case-sensitive) name of one entry.
// 0, -1 (no package), or -100 - n for n failed entries.
int ExtractPackage(SetupContext* context, const char* filter);
int DeletePackageFiles(SetupContext* context);
