// Win32 side of the stand-ins' test switches (see standins.h).
#pragma once
#include <windows.h>

#include "standins.h"

// 1 when the environment variable `var` lists the file at the end of `path`.
inline int StandinEnvNames(const char* var, const char* path) {
  char list[2048];
  DWORD length = GetEnvironmentVariableA(var, list, sizeof(list));
  if (length == 0 || length >= sizeof(list)) return 0;
  return StandinListNames(list, path);
}

// Appends `text` and a line end to the file named by QV_STANDIN_LOG, when set.
inline void StandinLog(const char* text) {
  char log_path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA(QV_ENV_STANDIN_LOG, log_path, sizeof(log_path));
  if (length == 0 || length >= sizeof(log_path)) return;
  HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, lstrlenA(text), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}
