// The program's version, in the one place that the window title, the Uninstall
// entry, the version resource and the manifest all take it from. Pure: read by
// the resource compiler, by CMake (the manifest) and by native tests.
#pragma once

#define SETUP_VERSION_MAJOR 2
#define SETUP_VERSION_MINOR 0
#define SETUP_VERSION_PATCH 3
#define SETUP_VERSION_BUILD 4

// "2.0.3.4", made from the numbers above so that the two forms cannot differ.
#define SETUP_VERSION_QUOTE_(x) #x
#define SETUP_VERSION_QUOTE(x) SETUP_VERSION_QUOTE_(x)
#define SETUP_VERSION_TEXT \
  SETUP_VERSION_QUOTE(SETUP_VERSION_MAJOR.SETUP_VERSION_MINOR.SETUP_VERSION_PATCH.SETUP_VERSION_BUILD)
