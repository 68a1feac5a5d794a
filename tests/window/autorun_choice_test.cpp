#include <gtest/gtest.h>

#include "window/autorun_choice.h"

namespace {

// device, entry, -i, -u -> action
struct Row {
  int device, entry, install, remove;
  AutorunAction action;
};

TEST(AutorunChoice, TheDeviceDecidesExceptForAnUnfinishedInstallOrALostDevice) {
  const Row rows[] = {
      // As the button: present removes, absent installs on "-i".
      {1, 1, 1, 0, AUTORUN_REMOVE},  {1, 1, 0, 1, AUTORUN_REMOVE},  {1, 0, 0, 1, AUTORUN_REMOVE},
      {1, 1, 1, 1, AUTORUN_REMOVE},  {1, 0, 1, 1, AUTORUN_REMOVE},  {0, 0, 1, 0, AUTORUN_INSTALL},
      {0, 1, 1, 0, AUTORUN_INSTALL}, {0, 1, 1, 1, AUTORUN_INSTALL}, {0, 0, 0, 1, AUTORUN_NONE},
      {0, 0, 0, 0, AUTORUN_NONE},    {0, 1, 0, 0, AUTORUN_NONE},
      // An install killed after the line driver's setup ran: "-i" completes it.
      {1, 0, 1, 0, AUTORUN_INSTALL},
      // The device lost while the product stays: "-u" removes it.
      {0, 1, 0, 1, AUTORUN_REMOVE},
  };
  for (const Row& r : rows)
    EXPECT_EQ(ChooseAutorunAction(r.device, r.entry, r.install, r.remove), r.action)
        << "device " << r.device << " entry " << r.entry << " -i " << r.install << " -u " << r.remove;
}

// The registry is read only where the entry can change the outcome.
TEST(AutorunChoice, TheEntryIsLookedUpExactlyWhereItMatters) {
  for (int device = 0; device < 2; ++device)
    for (int install = 0; install < 2; ++install)
      for (int remove = 0; remove < 2; ++remove) {
        bool matters = ChooseAutorunAction(device, 0, install, remove) != ChooseAutorunAction(device, 1, install, remove);
        EXPECT_EQ(AutorunNeedsUninstallEntry(device, install, remove) != 0, matters)
            << "device " << device << " -i " << install << " -u " << remove;
      }
}

}  // namespace
