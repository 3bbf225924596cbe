// One machine-readable line on the firmware console (the serial port under QEMU -nographic),
// always starting with "qemu-check: " so the test can pick it out of the Shell's output.
#pragma once
#include <Uefi.h>

class ConsoleLine {
public:
  ConsoleLine() { Text("qemu-check: "); }

  ConsoleLine &Text(CONST CHAR8 *Text);
  // "0x" and the value in upper-case hex without leading zeros.
  ConsoleLine &Hex(UINT64 Value);
  ConsoleLine &Decimal(UINT64 Value);
  // Each byte as two upper-case hex digits, no separators.
  ConsoleLine &Bytes(CONST UINT8 *Bytes, UINTN Count);
  // Writes the line with CR LF through the system table's ConOut.
  VOID Emit();

private:
  VOID Put(CHAR8 Character);

  static constexpr UINTN Capacity = 160;
  CHAR16 Buffer[Capacity + 3];
  UINTN Length = 0;
};
