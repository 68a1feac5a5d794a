/* Stands in for a product program that has no stand-in of its own yet: it only
   exits with 0, so that whatever starts it carries on. No C runtime. */
#include <windows.h>

void WinMainCRTStartup(void) { ExitProcess(0); }
