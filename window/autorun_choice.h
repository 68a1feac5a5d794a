// What an automatic run (-i or -u on the command line) does. Pure: no windows.h.
#pragma once
#include <cstdint>

enum AutorunAction { AUTORUN_NONE, AUTORUN_INSTALL, AUTORUN_REMOVE };

// The device decides, as the button does, except where it alone misleads:
// present without the Uninstall entry is an install that never finished, and
// "-i" (without "-u") completes it; absent with the entry is a product whose
// device was lost, and "-u" (without "-i") removes it.
AutorunAction ChooseAutorunAction(int32_t product_installed, int32_t uninstall_entry_present,
                                  int32_t install_flag, int32_t uninstall_flag);
// Whether the Uninstall entry can change that choice, so that it is looked up only then.
int AutorunNeedsUninstallEntry(int32_t product_installed, int32_t install_flag, int32_t uninstall_flag);
