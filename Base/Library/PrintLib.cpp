// AsciiVSPrint and AsciiSPrint: the grammar is described in Library/PrintLib.h.
#include <Library/PrintLib.h>
#include "StatusName.h"

namespace {

constexpr CHAR8 kDigits[] = "0123456789ABCDEF";

// The formatted text so far. Characters past the capacity are dropped, which leaves room for
// the terminating NUL in every case.
struct OUTPUT {
  CHAR8 *Buffer;
  UINTN Capacity;
  UINTN Length;
};

void Put(OUTPUT &Out, CHAR8 Character) {
  if (Out.Length < Out.Capacity) {
    Out.Buffer[Out.Length++] = Character;
  }
}

void PutRepeated(OUTPUT &Out, CHAR8 Character, UINTN Count) {
  for (; Count > 0 && Out.Length < Out.Capacity; Count--) {
    Put(Out, Character);
  }
}

// Everything between '%' and the type character.
struct CONVERSION {
  bool LeftJustify = false;
  bool ZeroPad = false;
  bool Is64Bit = false;
  CHAR8 PositiveSign = 0; // '+', ' ' or none
  UINTN Width = 0;
  bool HasPrecision = false;
  UINTN Precision = 0;
};

// Reads flags, width, precision and size up to the type character and returns its address.
CONST CHAR8 *ParseConversion(CONST CHAR8 *Format, CONVERSION &Spec, VA_LIST &Args) {
  for (;; Format++) {
    CHAR8 Character = *Format;
    if (Character == '-') {
      Spec.LeftJustify = true;
    } else if (Character == '+') {
      Spec.PositiveSign = '+';
    } else if (Character == ' ') {
      if (Spec.PositiveSign == 0) {
        Spec.PositiveSign = ' ';
      }
    } else if (Character == 'l' || Character == 'L') {
      Spec.Is64Bit = true;
    } else if (Character == '.') {
      Spec.HasPrecision = true;
    } else if (Character == '*') {
      (Spec.HasPrecision ? Spec.Precision : Spec.Width) = VA_ARG(Args, UINTN);
    } else if (Character == '0' && !Spec.HasPrecision && Spec.Width == 0) {
      Spec.ZeroPad = true;
    } else if (Character >= '0' && Character <= '9') {
      UINTN &Field = Spec.HasPrecision ? Spec.Precision : Spec.Width;
      Field = Field * 10 + UINTN(Character - '0');
    } else {
      return Format;
    }
  }
}

// Divides Value by Radix (at most 16) in 16-bit steps and returns the remainder. 32-bit
// images then need no 64-bit division helper, which a freestanding image does not have.
UINT32 DivideInPlace(UINT64 &Value, UINT32 Radix) {
  UINT64 Quotient = 0;
  UINT32 Remainder = 0;
  for (INT32 Shift = 48; Shift >= 0; Shift -= 16) {
    UINT32 Part = (Remainder << 16) | UINT32((Value >> Shift) & 0xFFFF);
    Quotient = (Quotient << 16) | (Part / Radix);
    Remainder = Part % Radix;
  }
  Value = Quotient;
  return Remainder;
}

void EmitNumber(OUTPUT &Out, UINT64 Value, UINT32 Radix, CHAR8 Sign, const CONVERSION &Spec) {
  CHAR8 Digits[20];
  UINTN Count = 0;
  do {
    Digits[Count++] = kDigits[DivideInPlace(Value, Radix)];
  } while (Value != 0);

  UINTN SignLength = Sign != 0 ? 1 : 0;
  UINTN Zeros = Spec.Precision > Count ? Spec.Precision - Count : 0;
  if (Spec.ZeroPad && !Spec.LeftJustify && Spec.Width > SignLength + Zeros + Count) {
    Zeros = Spec.Width - SignLength - Count;
  }
  UINTN Length = SignLength + Zeros + Count;
  UINTN Spaces = Spec.Width > Length ? Spec.Width - Length : 0;

  if (!Spec.LeftJustify) {
    PutRepeated(Out, ' ', Spaces);
  }
  if (Sign != 0) {
    Put(Out, Sign);
  }
  PutRepeated(Out, '0', Zeros);
  while (Count > 0) {
    Put(Out, Digits[--Count]);
  }
  if (Spec.LeftJustify) {
    PutRepeated(Out, ' ', Spaces);
  }
}

// CHAR8 or CHAR16 text; a CHAR16 character contributes its low byte.
template <typename CHAR> void EmitString(OUTPUT &Out, CONST CHAR *Text, const CONVERSION &Spec) {
  UINTN Length = 0;
  while (Text[Length] != 0 && (!Spec.HasPrecision || Length < Spec.Precision)) {
    Length++;
  }
  UINTN Spaces = Spec.Width > Length ? Spec.Width - Length : 0;
  if (!Spec.LeftJustify) {
    PutRepeated(Out, ' ', Spaces);
  }
  for (UINTN Index = 0; Index < Length; Index++) {
    Put(Out, CHAR8(Text[Index]));
  }
  if (Spec.LeftJustify) {
    PutRepeated(Out, ' ', Spaces);
  }
}

// Writes Value as Count upper-case hex digits at Text and returns the position after them.
CHAR8 *AppendHex(CHAR8 *Text, UINT32 Value, UINTN Count) {
  for (UINTN Index = Count; Index > 0; Index--) {
    Text[Index - 1] = kDigits[Value & 0xF];
    Value >>= 4;
  }
  return Text + Count;
}

// Registry form: 8-4-4-4-12 upper-case hex digits, Data1 to Data3 as numbers, Data4 in byte
// order.
void EmitGuid(OUTPUT &Out, CONST EFI_GUID *Guid, const CONVERSION &Spec) {
  if (Guid == nullptr) {
    EmitString(Out, "<null guid>", Spec);
    return;
  }
  CHAR8 Text[37];
  CHAR8 *Next = AppendHex(Text, Guid->Data1, 8);
  *Next++ = '-';
  Next = AppendHex(Next, Guid->Data2, 4);
  *Next++ = '-';
  Next = AppendHex(Next, Guid->Data3, 4);
  *Next++ = '-';
  for (UINTN Index = 0; Index < 8; Index++) {
    if (Index == 2) {
      *Next++ = '-';
    }
    Next = AppendHex(Next, Guid->Data4[Index], 2);
  }
  *Next = 0;
  EmitString(Out, Text, Spec);
}

UINT64 NextUnsigned(VA_LIST &Args, const CONVERSION &Spec) {
  return Spec.Is64Bit ? VA_ARG(Args, UINT64) : VA_ARG(Args, unsigned int);
}

INT64 NextSigned(VA_LIST &Args, const CONVERSION &Spec) {
  return Spec.Is64Bit ? VA_ARG(Args, INT64) : VA_ARG(Args, int);
}

// Formats one conversion of type Type.
void EmitConversion(OUTPUT &Out, CHAR8 Type, CONVERSION &Spec, VA_LIST &Args) {
  switch (Type) {
  case '%':
    Put(Out, '%');
    break;
  case 'c': {
    CHAR8 Text[2] = {CHAR8(VA_ARG(Args, int)), 0};
    EmitString(Out, Text, Spec);
    break;
  }
  case 'a': {
    CONST CHAR8 *Text = VA_ARG(Args, CONST CHAR8 *);
    EmitString(Out, Text != nullptr ? Text : "<null string>", Spec);
    break;
  }
  case 's':
  case 'S': {
    CONST CHAR16 *Text = VA_ARG(Args, CONST CHAR16 *);
    if (Text != nullptr) {
      EmitString(Out, Text, Spec);
    } else {
      EmitString(Out, "<null string>", Spec);
    }
    break;
  }
  case 'g':
    EmitGuid(Out, VA_ARG(Args, CONST EFI_GUID *), Spec);
    break;
  case 'r': {
    EFI_STATUS Status = VA_ARG(Args, EFI_STATUS);
    CONST CHAR8 *Name = StatusName(Status);
    if (Name != nullptr) {
      EmitString(Out, Name, Spec);
    } else {
      EmitNumber(Out, Status, 16, 0, Spec);
    }
    break;
  }
  case 'p':
    Spec.ZeroPad = true;
    EmitNumber(Out, reinterpret_cast<UINTN>(VA_ARG(Args, CONST VOID *)), 16, 0, Spec);
    break;
  case 'X':
    Spec.ZeroPad = true;
    EmitNumber(Out, NextUnsigned(Args, Spec), 16, 0, Spec);
    break;
  case 'x':
    EmitNumber(Out, NextUnsigned(Args, Spec), 16, 0, Spec);
    break;
  case 'u':
    EmitNumber(Out, NextUnsigned(Args, Spec), 10, 0, Spec);
    break;
  case 'd': {
    INT64 Value = NextSigned(Args, Spec);
    UINT64 Magnitude = Value < 0 ? UINT64(0) - UINT64(Value) : UINT64(Value);
    EmitNumber(Out, Magnitude, 10, Value < 0 ? '-' : Spec.PositiveSign, Spec);
    break;
  }
  default:
    // Not a conversion this grammar knows: shown as written.
    Put(Out, Type);
    break;
  }
}

} // namespace

UINTN AsciiVSPrint(CHAR8 *StartOfBuffer, UINTN BufferSize, CONST CHAR8 *FormatString,
                   VA_LIST Marker) {
  if (StartOfBuffer == nullptr || BufferSize == 0) {
    return 0;
  }
  OUTPUT Out = {StartOfBuffer, BufferSize - 1, 0};
  VA_LIST Args;
  VA_COPY(Args, Marker);
  for (CONST CHAR8 *Format = FormatString; *Format != 0; Format++) {
    if (*Format != '%') {
      Put(Out, *Format);
      continue;
    }
    CONVERSION Spec;
    Format = ParseConversion(Format + 1, Spec, Args);
    if (*Format == 0) {
      break;
    }
    EmitConversion(Out, *Format, Spec, Args);
  }
  VA_END(Args);
  StartOfBuffer[Out.Length] = 0;
  return Out.Length;
}

UINTN AsciiSPrint(CHAR8 *StartOfBuffer, UINTN BufferSize, CONST CHAR8 *FormatString, ...) {
  VA_LIST Marker;
  VA_START(Marker, FormatString);
  UINTN Length = AsciiVSPrint(StartOfBuffer, BufferSize, FormatString, Marker);
  VA_END(Marker);
  return Length;
}
