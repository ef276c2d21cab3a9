// Started by the simulated browser in the simulator's tests: writes its command line, as UTF-16, to
// the file named by SIM_BROWSER_TARGET_OUT, so the test can see what it was started with.
#include <windows.h>

int wmain() {
  wchar_t out[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"SIM_BROWSER_TARGET_OUT", out, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  HANDLE file =
      CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const wchar_t* commandLine = GetCommandLineW();
  DWORD written = 0;
  BOOL ok =
      WriteFile(file, commandLine, static_cast<DWORD>(lstrlenW(commandLine) * sizeof(wchar_t)),
                &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 4;
}
