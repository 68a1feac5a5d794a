// The one process-wide record that every operation on the installation shares.
#pragma once
#include <windows.h>
#include <cstdint>
#include "package/package_format.h"

struct ButtonRect {
  int32_t left, top, right, bottom;
};

struct SetupContext {
  HWND main_window;
  HINSTANCE instance;
  int32_t is_wow64;
  // The setup program's own file, held open from the first thing start-up
  // does to the end and proven to be the image this process runs; nobody can
  // change it while we run, and the uninstaller copy is made from it. Null
  // when it could not be held or is not ours: setup_file_error says why.
  HANDLE setup_file;
  uint32_t setup_file_error;
  // Its long file name in exact ANSI form; empty when it has none.
  char setup_name[MAX_PATH];
  UINT_PTR blink_timer;
  int32_t os_generation;
  int32_t product_installed;
  char install_folder[1024];
  PackageDirectory package_directory;
  ButtonRect button_rect;
  int32_t blink_count;
  HBITMAP background_bitmap;
  int32_t bitmap_width;
  int32_t bitmap_height;
  HCURSOR hand_cursor;
  HFONT text_font;
  HFONT label_font;
  HFONT caption_font;
  // WorkerState. worker_busy and worker_result cross threads: written only with
  // interlocked (full-barrier) operations and read with acquire semantics, so a
  // reader that sees worker_busy == 0 also sees the final worker_result.
  HANDLE worker_thread;
  DWORD worker_thread_id;
  volatile LONG worker_busy;
  volatile LONG worker_result;
  char error_caption[512];
  char error_text[2048];
  // Written by the install worker, painted by the window thread: go through
  // SetStatusText / CopyStatusText (procedures/install.h), never directly.
  char status_text[1024];
};

// The record itself, in static storage for the whole process.
extern SetupContext g_context;
