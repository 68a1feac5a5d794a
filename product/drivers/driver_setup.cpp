// Stand-in for the setup program of one of the product's virtual audio drivers.
//
//   -i   install: register a root-enumerated device of the driver and make its
//        device interface present (what the setup program probes for)
//   -u   remove that device and its interface
//   -h   quiet: no message box (the setup program always passes it)
//
// The setup program starts it with the switches alone, without a program name,
// so every word of the command line is looked at.
//
// For the tests, every start appends one line to the stand-ins' log, when the
// environment names one (QV_STANDIN_LOG, shared with the ASIO stand-ins):
//   <own file name> [<command line exactly as received>] in <current directory>
// and the environment can choose how it ends:
//   QV_<DRIVER>_EXIT       exit code, decimal, may be negative (default: 0, or 2
//                          when the device could not be set up)
//   QV_<DRIVER>_DELAY_MS   milliseconds to wait before exiting
//   QV_<DRIVER>_BROADCAST  1: send WM_SETTINGCHANGE to every top-level window
//                          and wait for all of them, as a real driver setup
//                          may do after changing the environment
// with <DRIVER> HCLINE or HCQVAUX.
#include <windows.h>
#include <setupapi.h>
#include <cstdlib>
#include <cstring>

namespace {

#if defined(QV_DRIVER_LINE)
const char DRIVER_NAME[] = "HCLINE";
const char DRIVER_TITLE[] = "Halcyra Quorvane Line Audio Driver";
// The interface that the setup program looks for to tell whether the product is installed.
const GUID INTERFACE_GUID = {0x3F9A2C64, 0x7B18, 0x4E5D, {0xA2, 0xC7, 0x91, 0xD0, 0x5E, 0x3B, 0x6F, 0x48}};
#elif defined(QV_DRIVER_AUX)
const char DRIVER_NAME[] = "HCQVAUX";
const char DRIVER_TITLE[] = "Halcyra Quorvane Auxiliary Audio Driver";
const GUID INTERFACE_GUID = {0x8B2E5D17, 0x4C90, 0x4F3A, {0xB6, 0xE1, 0x2D, 0x7C, 0x09, 0xA4, 0xF5, 0x31}};
#else
#error "QV_DRIVER_LINE or QV_DRIVER_AUX"
#endif

// Sound, video and game controllers.
const GUID MEDIA_CLASS_GUID = {0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Appends text to out (cap bytes in all); 0 when it does not fit.
int Append(char* out, size_t cap, const char* text) {
  size_t have = strlen(out);
  size_t add = strlen(text);
  if (have + add + 1 > cap) return 0;
  memcpy(out + have, text, add + 1);
  return 1;
}

// 1 when the environment variable QV_<DRIVER>_<suffix> holds a decimal number.
int ReadEnvNumber(const char* suffix, long* value) {
  char name[64] = "QV_";
  Append(name, sizeof name, DRIVER_NAME);
  Append(name, sizeof name, "_");
  Append(name, sizeof name, suffix);
  char text[32];
  DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  if (n == 0 || n >= sizeof text) return 0;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != 0) return 0;
  *value = v;
  return 1;
}

void LogStart(const char* command_line) {
  char log_path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("QV_STANDIN_LOG", log_path, sizeof log_path);
  if (n == 0 || n >= sizeof log_path) return;

  char module[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, module, sizeof module);
  const char* own_name = strrchr(module, '\\');
  own_name = own_name ? own_name + 1 : module;
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof directory, directory);

  char line[4096] = "";
  if (!Append(line, sizeof line, own_name) || !Append(line, sizeof line, " [") ||
      !Append(line, sizeof line, command_line) || !Append(line, sizeof line, "] in ") ||
      !Append(line, sizeof line, directory) || !Append(line, sizeof line, "\r\n"))
    return;
  // One write with append access, so lines of programs started one after the other never mix.
  HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
}

// 1 when the device's instance id is ROOT\<DRIVER>\nnnn, so only our own devices are touched.
int IsOwnDevice(HDEVINFO set, SP_DEVINFO_DATA* device) {
  char id[512];
  if (!SetupDiGetDeviceInstanceIdA(set, device, id, sizeof id, nullptr)) return 0;
  char prefix[64] = "ROOT\\";
  Append(prefix, sizeof prefix, DRIVER_NAME);
  Append(prefix, sizeof prefix, "\\");
  return _strnicmp(id, prefix, strlen(prefix)) == 0;
}

// Removes every device of this driver; 1 when none is left behind.
int RemoveDevices() {
  HDEVINFO set = SetupDiGetClassDevsA(&INTERFACE_GUID, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return 0;
  int ok = 1;
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); i++) {
    if (IsOwnDevice(set, &device) && !SetupDiRemoveDevice(set, &device)) ok = 0;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

// The interface counts as present once its reference key carries Control\Linked = 1,
// which a running driver would set.
int MarkInterfaceLinked(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data) {
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailA(set, interface_data, nullptr, 0, &size, nullptr);
  if (size == 0) return 0;
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(LocalAlloc(LPTR, size));
  if (!detail) return 0;
  detail->cbSize = sizeof *detail;
  int ok = 0;
  if (SetupDiGetDeviceInterfaceDetailA(set, interface_data, detail, size, nullptr, nullptr)) {
    // \\?\root#hcline#0000#{guid} is kept under the class key as ##?#root#hcline#0000#{guid}.
    char key_path[1024] = "";
    const char* path = detail->DevicePath;
    if (strlen(path) > 4 && Append(key_path, sizeof key_path, "##?#") &&
        Append(key_path, sizeof key_path, path + 4) && Append(key_path, sizeof key_path, "\\#\\Control")) {
      HKEY class_key = SetupDiOpenClassRegKeyExA(&INTERFACE_GUID, KEY_ALL_ACCESS, DIOCR_INTERFACE, nullptr, nullptr);
      if (class_key != INVALID_HANDLE_VALUE) {
        HKEY control = nullptr;
        if (RegCreateKeyExA(class_key, key_path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &control, nullptr) ==
            ERROR_SUCCESS) {
          DWORD linked = 1;
          ok = RegSetValueExA(control, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                              sizeof linked) == ERROR_SUCCESS;
          RegCloseKey(control);
        }
        RegCloseKey(class_key);
      }
    }
  }
  LocalFree(detail);
  return ok;
}

// A fresh device each time, so a repeated install leaves exactly one.
int InstallDevice() {
  RemoveDevices();
  HDEVINFO set = SetupDiCreateDeviceInfoList(&MEDIA_CLASS_GUID, nullptr);
  if (set == INVALID_HANDLE_VALUE) return 0;
  int ok = 0;
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  SP_DEVICE_INTERFACE_DATA interface_data;
  interface_data.cbSize = sizeof interface_data;
  if (SetupDiCreateDeviceInfoA(set, DRIVER_NAME, &MEDIA_CLASS_GUID, DRIVER_TITLE, nullptr, DICD_GENERATE_ID,
                               &device) &&
      SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
      SetupDiCreateDeviceInterfaceA(set, &device, &INTERFACE_GUID, nullptr, 0, &interface_data)) {
    ok = MarkInterfaceLinked(set, &interface_data);
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* command_line = GetCommandLineA();
  LogStart(command_line);

  int install = 0, remove = 0, quiet = 0;
  char words[4096];
  lstrcpynA(words, command_line, sizeof words);
  for (char* word = strtok(words, " \t"); word; word = strtok(nullptr, " \t")) {
    if (!lstrcmpiA(word, "-i")) install = 1;
    if (!lstrcmpiA(word, "-u")) remove = 1;
    if (!lstrcmpiA(word, "-h")) quiet = 1;
  }

  long result = 0;
  if (install && !remove) {
    result = InstallDevice() ? 0 : 2;
  } else if (remove && !install) {
    result = RemoveDevices() ? 0 : 2;
  } else {
    result = 2;
    if (!quiet) {
      char text[512] = "This program stands in for the setup program of the ";
      Append(text, sizeof text, DRIVER_TITLE);
      Append(text, sizeof text, ".\n\n-i installs the driver's device, -u removes it, -h keeps quiet.");
      MessageBoxA(nullptr, text, DRIVER_TITLE, MB_ICONINFORMATION);
    }
  }

  long value = 0;
  if (ReadEnvNumber("BROADCAST", &value) && value == 1)
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"));
  if (ReadEnvNumber("DELAY_MS", &value) && value > 0) Sleep(static_cast<DWORD>(value));
  if (ReadEnvNumber("EXIT", &value)) result = value;
  return static_cast<int>(result);
}
