// A program of the product that this package only stands in for: it says which
// one it is and where the installation put it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char own_path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, own_path, sizeof own_path);
  char text[1024];
  wsprintfA(text,
            "This program stands in for %s.\n\n"
            "The setup program installed it here:\n%s\n\n"
            "See readme.txt in the same folder.",
            QV_APP_ROLE, own_path);
  MessageBoxA(nullptr, text, QV_APP_TITLE " (Halcyra)", MB_ICONINFORMATION);
  return 0;
}
