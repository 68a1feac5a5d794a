// qvinspect: what the end-to-end tests and scripts/demo look at inside a Wine prefix.
//   qvinspect link FILE.LNK    prints target, working folder and description, tab-separated
//   qvinspect device {GUID}    prints the path of every present interface of the class;
//                              exit 0 when there is one, 1 when there is none
#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <shlobj.h>

#include <cstdio>

namespace {

int ShowLink(const char* file) {
  int status = 1;
  IShellLinkA* link = nullptr;
  HRESULT made = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
  if (FAILED(made)) {
    printf("cannot make a shell link: 0x%08lx\n", static_cast<unsigned long>(made));
    return 2;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file, -1, wide, MAX_PATH);
    HRESULT loaded = persist->Load(wide, STGM_READ);
    if (FAILED(loaded)) {
      // On stdout, so that a failing check shows why the link could not be read.
      printf("cannot load: 0x%08lx\n", static_cast<unsigned long>(loaded));
    } else {
      char target[MAX_PATH] = "", folder[MAX_PATH] = "", description[MAX_PATH] = "";
      link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
      link->GetWorkingDirectory(folder, MAX_PATH);
      link->GetDescription(description, MAX_PATH);
      printf("%s\t%s\t%s\n", target, folder, description);
      status = 0;
    }
    persist->Release();
  }
  link->Release();
  return status;
}

int ShowDevices(const char* guid_text) {
  wchar_t wide[64];
  GUID guid;
  MultiByteToWideChar(CP_ACP, 0, guid_text, -1, wide, 64);
  if (FAILED(CLSIDFromString(wide, &guid))) return 2;
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return 1;
  int found = 0;
  SP_DEVICE_INTERFACE_DATA data;
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); i++) {
    char buffer[2048];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr)) {
      printf("%s\n", detail->DevicePath);
      found = 1;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !lstrcmpA(argv[1], "device")) return ShowDevices(argv[2]);
  if (argc == 3 && !lstrcmpA(argv[1], "link")) {
    CoInitialize(nullptr);
    int status = ShowLink(argv[2]);
    CoUninitialize();
    return status;
  }
  fputs("usage: qvinspect link FILE.LNK | qvinspect device {GUID}\n", stderr);
  return 2;
}
