// File and folder helpers over the Windows ANSI file functions. 1 = success.
#pragma once
#include <cstdint>

int DeleteFolderTree(const char* folder);
int MakeFolderPath(const char* path);
int WriteWholeFile(const char* path, const void* bytes, uint32_t length);
int FileExists(const char* path);
