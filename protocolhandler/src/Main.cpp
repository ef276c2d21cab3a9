// orlo-protocolhandler: a GUI-subsystem program, so starting it from a browser opens no console; it
// creates no window either. Its messages reach whoever supplied standard handles.
#include <windows.h>

#include <shellapi.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ProtocolHandler.h"

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The entry's own parameters are ignored: the command line is split by the system's rules.
  int argc = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  if (!argv) {
    const DWORD error = GetLastError();
    std::cout << "CommandLineToArgvW failed with GLE " << error << std::endl;
    return 1;
  }
  std::vector<std::wstring> args(argv.get(), argv.get() + argc);
  argv.reset();
  return RunProtocolHandler(args);
}
