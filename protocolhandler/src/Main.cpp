// orlo-protocolhandler: a GUI-subsystem program, so starting it from a browser opens no console; it
// creates no window either. Its messages reach whoever supplied standard handles.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "ProtocolHandler.h"

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

// The C runtime opens the standard streams in text mode, which would end every line with CR LF;
// the program's lines end in a bare line feed. The iostreams, ours and the registry library's,
// write through the same two descriptors. A process started without standard handles may have no
// descriptor to set (a negative number), and then nothing is written anywhere.
void UseBinaryStandardOutputAndError() {
  for (FILE* stream : {stdout, stderr}) {
    const int descriptor = _fileno(stream);
    if (descriptor >= 0) _setmode(descriptor, _O_BINARY);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  UseBinaryStandardOutputAndError();
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
