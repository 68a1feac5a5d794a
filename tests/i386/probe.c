/* probe.exe EXPECT_WOW64: tells whether the stage runs a 32-bit program the way
   the shipped setup program will be run (0: plain 32-bit Windows, 1: WoW64). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    BOOL wow64 = FALSE;
    char system_dir[MAX_PATH] = "";
    int expect = argc > 1 ? atoi(argv[1]) : -1;

    if (!IsWow64Process(GetCurrentProcess(), &wow64))
        wow64 = -1;
    GetSystemDirectoryA(system_dir, sizeof system_dir);
    printf("pointer %u bytes, wow64 %d, system folder %s\n", (unsigned)sizeof(void *), (int)wow64, system_dir);
    if (sizeof(void *) != 4 || (int)wow64 != expect) {
        printf("expected a 32-bit process with wow64 %d\n", expect);
        return 1;
    }
    return 0;
}
