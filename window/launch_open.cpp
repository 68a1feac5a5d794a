#include "window/main_window.h"

#include <shellapi.h>
#include <cstring>

#include "window/launch_target.h"

void OpenLaunchTargetWith(SetupContext* context, const unsigned char* stored, uint32_t count,
                          unsigned char* buffer) {
  if (!stored || count == 0 || count > LAUNCH_TARGET_MAX) return;
  // Zero first: the stored form carries its own zero, and a damaged one still
  // ends inside the buffer.
  memset(buffer, 0, LAUNCH_TARGET_MAX);
  memcpy(buffer, stored, count);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, buffer, count);
  buffer[LAUNCH_TARGET_MAX - 1] = 0;
  ShellExecuteA(context->main_window, "open", reinterpret_cast<const char*>(buffer), nullptr, nullptr,
                SW_SHOW);
  SecureZeroMemory(buffer, LAUNCH_TARGET_MAX);
}

void OpenLaunchTarget(SetupContext* context, const unsigned char* stored, uint32_t count) {
  unsigned char buffer[LAUNCH_TARGET_MAX];
  OpenLaunchTargetWith(context, stored, count, buffer);
}
