#include "LineText.h"

namespace {

constexpr CHAR8 kHexDigits[] = "0123456789ABCDEF";

} // namespace

VOID LineText::Put(CHAR8 Character) {
  if (Length < Capacity) {
    Buffer[Length++] = Character;
  }
}

LineText &LineText::Text(CONST CHAR8 *Text) {
  while (*Text != '\0') {
    Put(*Text++);
  }
  return *this;
}

LineText &LineText::Hex(UINT64 Value) {
  Text("0x");
  int Shift = 60;
  while (Shift > 0 && (Value >> Shift) == 0) {
    Shift -= 4;
  }
  for (; Shift >= 0; Shift -= 4) {
    Put(kHexDigits[(Value >> Shift) & 0xF]);
  }
  return *this;
}

LineText &LineText::Decimal(UINTN Value) {
  CHAR8 Digits[20];
  UINTN Count = 0;
  do {
    Digits[Count++] = static_cast<CHAR8>('0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  while (Count > 0) {
    Put(Digits[--Count]);
  }
  return *this;
}

LineText &LineText::Bytes(CONST UINT8 *Bytes, UINTN Count) {
  for (UINTN Index = 0; Index < Count; ++Index) {
    Put(kHexDigits[Bytes[Index] >> 4]);
    Put(kHexDigits[Bytes[Index] & 0xF]);
  }
  return *this;
}
