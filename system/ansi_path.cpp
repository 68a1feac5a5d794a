#include "system/ansi_path.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#ifndef WC_NO_BEST_FIT_CHARS
#define WC_NO_BEST_FIT_CHARS 0x00000400
#endif

int ExactAnsiText(const wchar_t* text, char* out, size_t out_size) {
  if (out_size == 0) return 0;
  out[0] = '\0';
  if (text == nullptr || out_size > 0x7fffffff) return 0;
  const int cap = static_cast<int>(out_size);
  const UINT code_page = GetACP();
  // UTF-8 as the ANSI code page holds every character, and refuses both the
  // flag and the used-default question.
  const bool utf8 = code_page == CP_UTF8;
  BOOL used_default = FALSE;
  int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out, cap, nullptr,
                              utf8 ? nullptr : &used_default);
  if (n <= 0 || used_default) {
    out[0] = '\0';
    return 0;
  }
  // The flag keeps single characters from being fitted; the way back proves
  // that a multi-byte code page gave the same text and nothing else.
  wchar_t back[2048];
  const size_t length = wcslen(text);
  if (length >= sizeof back / sizeof back[0] ||
      MultiByteToWideChar(CP_ACP, 0, out, -1, back, sizeof back / sizeof back[0]) != static_cast<int>(length + 1) ||
      wcscmp(back, text) != 0) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

int AnsiPathFromWide(const wchar_t* wide, char* out, size_t out_size) {
  // An empty path names no folder: joined to a name it would lead to the root
  // of the current drive.
  if (wide == nullptr || wide[0] == L'\0') {
    if (out_size) out[0] = '\0';
    return 0;
  }
  if (ExactAnsiText(wide, out, out_size)) return 1;
  wchar_t short_form[2048];
  DWORD n = GetShortPathNameW(wide, short_form, sizeof short_form / sizeof short_form[0]);
  if (n == 0 || n >= sizeof short_form / sizeof short_form[0]) return 0;
  return ExactAnsiText(short_form, out, out_size);
}

int WideFromAnsi(const char* text, wchar_t* out, size_t out_size) {
  if (!text || out_size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(out_size)) > 0) return 1;
  // Said the way a failure box should say it.
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return 0;
}

int SameFileName(const wchar_t* a, const wchar_t* b) {
  wchar_t upper_a[MAX_PATH];
  wchar_t upper_b[MAX_PATH];
  const size_t length = wcslen(a);
  if (length >= MAX_PATH || wcslen(b) != length) return 0;
  memcpy(upper_a, a, (length + 1) * sizeof *a);
  memcpy(upper_b, b, (length + 1) * sizeof *b);
  CharUpperBuffW(upper_a, static_cast<DWORD>(length));
  CharUpperBuffW(upper_b, static_cast<DWORD>(length));
  return wcscmp(upper_a, upper_b) == 0;
}
