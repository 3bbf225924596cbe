#include "ConsoleLine.h"

#include <Library/UefiBootServicesTableLib.h>

namespace {

constexpr CHAR8 kHexDigits[] = "0123456789ABCDEF";

} // namespace

VOID ConsoleLine::Put(CHAR8 Character) {
  // Longer lines are cut; the test then sees a mismatch, not a crash.
  if (Length < Capacity) {
    Buffer[Length++] = static_cast<CHAR16>(Character);
  }
}

ConsoleLine &ConsoleLine::Text(CONST CHAR8 *Text) {
  while (*Text != '\0') {
    Put(*Text++);
  }
  return *this;
}

ConsoleLine &ConsoleLine::Hex(UINT64 Value) {
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

ConsoleLine &ConsoleLine::Decimal(UINT64 Value) {
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

ConsoleLine &ConsoleLine::Bytes(CONST UINT8 *Bytes, UINTN Count) {
  for (UINTN Index = 0; Index < Count; ++Index) {
    Put(kHexDigits[Bytes[Index] >> 4]);
    Put(kHexDigits[Bytes[Index] & 0xF]);
  }
  return *this;
}

VOID ConsoleLine::Emit() {
  Buffer[Length] = u'\r';
  Buffer[Length + 1] = u'\n';
  Buffer[Length + 2] = u'\0';
  gST->ConOut->OutputString(gST->ConOut, Buffer);
}
