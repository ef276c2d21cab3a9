#include "CrtOrderProbe.h"

namespace {
void RecordT() { CrtOrderProbeRecord('T'); }
}  // namespace

extern "C" {
__attribute__((section(".CRT$XCT"), used)) void (*crtOrderProbeT)(void) = RecordT;
}
