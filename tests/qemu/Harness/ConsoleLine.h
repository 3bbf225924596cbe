// One machine-readable line on the firmware console (the serial port under QEMU -nographic),
// always starting with "qemu-check: " so the test can pick it out of the Shell's output.
#pragma once
#include <Uefi.h>

#include "LineText.h"

class ConsoleLine : public LineFormat<ConsoleLine> {
public:
  ConsoleLine() { Text("qemu-check: "); }

  // Writes the line with CR LF through the system table's ConOut.
  VOID Emit();
};
