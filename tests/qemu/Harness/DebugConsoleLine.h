// One machine-readable line on QEMU's debug console (isa-debugcon at I/O port 0x402), which works
// in every phase, PEI before permanent memory and SMM included, and which Debian's RELEASE build
// of OVMF leaves silent. Lines start with "qemu-board: ".
#pragma once
#include <Base.h>

#include "LineText.h"

class DebugConsoleLine : public LineText {
public:
  DebugConsoleLine() { Text("qemu-board: "); }

  template <typename T> DebugConsoleLine &Text(T Value) { return Chain(&LineText::Text, Value); }
  template <typename T> DebugConsoleLine &Hex(T Value) { return Chain(&LineText::Hex, Value); }
  template <typename T> DebugConsoleLine &Decimal(T Value) {
    return Chain(&LineText::Decimal, Value);
  }
  DebugConsoleLine &Bytes(CONST VOID *Data, UINTN Count) {
    LineText::Bytes(static_cast<CONST UINT8 *>(Data), Count);
    return *this;
  }
  // Writes the line and a line feed to the debug port.
  VOID Emit();

private:
  template <typename F, typename T> DebugConsoleLine &Chain(F Member, T Value) {
    (this->*Member)(Value);
    return *this;
  }
};

// What a status looks like in the lines whatever the phase's word size: the error bit as bit 63.
UINT64 WideStatus(EFI_STATUS Status);
