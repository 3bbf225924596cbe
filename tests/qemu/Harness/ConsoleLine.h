// One machine-readable line on the firmware console (the serial port under QEMU -nographic),
// always starting with "qemu-check: " so the test can pick it out of the Shell's output.
#pragma once
#include <Uefi.h>

#include "LineText.h"

class ConsoleLine : public LineText {
public:
  ConsoleLine() { Text("qemu-check: "); }

  template <typename T> ConsoleLine &Text(T Value) { return Chain(&LineText::Text, Value); }
  template <typename T> ConsoleLine &Hex(T Value) { return Chain(&LineText::Hex, Value); }
  template <typename T> ConsoleLine &Decimal(T Value) { return Chain(&LineText::Decimal, Value); }
  ConsoleLine &Bytes(CONST UINT8 *Data, UINTN Count) {
    LineText::Bytes(Data, Count);
    return *this;
  }
  // Writes the line with CR LF through the system table's ConOut.
  VOID Emit();

private:
  template <typename F, typename T> ConsoleLine &Chain(F Member, T Value) {
    (this->*Member)(Value);
    return *this;
  }
};
