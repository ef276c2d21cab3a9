// Compiled and linked first, so that only the section names can put its .CRT$XCU entry after the
// .CRT$XCT entry of CrtOrderProbeEarly.cpp.
#include "CrtOrderProbe.h"

namespace {

char sequence[16];
int length = 0;

void RecordU() { CrtOrderProbeRecord('U'); }

struct StaticObject {
  StaticObject() { CrtOrderProbeRecord('C'); }
} staticObject;

}  // namespace

extern "C" {

__attribute__((section(".CRT$XCU"), used)) void (*crtOrderProbeU)(void) = RecordU;

void CrtOrderProbeRecord(char letter) {
  if (length + 1 < static_cast<int>(sizeof sequence)) sequence[length++] = letter;
}

const char* CrtOrderProbeSequence() { return sequence; }
}
