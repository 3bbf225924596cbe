// A line of machine-readable text for the QEMU checks, built up piece by piece; the console and
// debug-port writers send it out.
#pragma once
#include <Base.h>

class LineText {
public:
  LineText &Text(CONST CHAR8 *Text);
  // "0x" and the value in upper-case hex without leading zeros.
  LineText &Hex(UINT64 Value);
  // Word-sized, so that 32-bit phases need no 64-bit division helpers.
  LineText &Decimal(UINTN Value);
  // Each byte as two upper-case hex digits, no separators.
  LineText &Bytes(CONST UINT8 *Bytes, UINTN Count);

protected:
  // Longer lines are cut; the test then sees a mismatch, not a crash.
  static constexpr UINTN Capacity = 640;
  CHAR8 Buffer[Capacity];
  UINTN Length = 0;

private:
  VOID Put(CHAR8 Character);
};

// The same pieces, each returning the concrete line so that calls chain up to its Emit.
template <typename Line> class LineFormat : public LineText {
public:
  Line &Text(CONST CHAR8 *Value) { return Chain(LineText::Text(Value)); }
  Line &Hex(UINT64 Value) { return Chain(LineText::Hex(Value)); }
  Line &Decimal(UINTN Value) { return Chain(LineText::Decimal(Value)); }
  Line &Bytes(CONST VOID *Data, UINTN Count) {
    return Chain(LineText::Bytes(static_cast<CONST UINT8 *>(Data), Count));
  }

private:
  Line &Chain(LineText &) { return static_cast<Line &>(*this); }
};
