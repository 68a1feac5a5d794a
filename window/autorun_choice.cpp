#include "window/autorun_choice.h"

int AutorunNeedsUninstallEntry(int32_t product_installed, int32_t install_flag, int32_t uninstall_flag) {
  const bool install_only = install_flag == 1 && uninstall_flag != 1;
  const bool remove_only = uninstall_flag == 1 && install_flag != 1;
  return product_installed == 1 ? install_only : remove_only;
}

AutorunAction ChooseAutorunAction(int32_t product_installed, int32_t uninstall_entry_present,
                                  int32_t install_flag, int32_t uninstall_flag) {
  const bool entry_decides = AutorunNeedsUninstallEntry(product_installed, install_flag, uninstall_flag) != 0;
  if (product_installed == 1)
    return entry_decides && uninstall_entry_present != 1 ? AUTORUN_INSTALL : AUTORUN_REMOVE;
  if (install_flag == 1) return AUTORUN_INSTALL;
  return entry_decides && uninstall_entry_present == 1 ? AUTORUN_REMOVE : AUTORUN_NONE;
}
