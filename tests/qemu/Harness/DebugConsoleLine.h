// One machine-readable line on QEMU's debug console (isa-debugcon at I/O port 0x402), which works
// in every phase, PEI before permanent memory and SMM included, and which Debian's RELEASE build
// of OVMF leaves silent. Lines start with "qemu-board: ".
#pragma once
#include <Base.h>

#include "LineText.h"

class DebugConsoleLine : public LineFormat<DebugConsoleLine> {
public:
  DebugConsoleLine() { Text("qemu-board: "); }

  // Writes the line and a line feed to the debug port.
  VOID Emit();
};

// What a status looks like in the lines whatever the phase's word size: the error bit as bit 63.
UINT64 WideStatus(EFI_STATUS Status);
