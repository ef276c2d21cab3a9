// The baseline of the start-up benchmark: a GUI-subsystem program built like the handler (same
// toolchain, static runtime, wide GUI entry) that does nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
