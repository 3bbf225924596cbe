// Formatted ASCII output with the EDK II print grammar:
//   %[flags][width][.precision]type
//   flags:     '-' left-justify, '0' zero-pad numbers, '+' or ' ' sign of positive decimals,
//              'l' or 'L' the number argument is 64-bit (otherwise int-sized)
//   width, precision: decimal digits or '*' (taken from a UINTN argument); the precision is the
//              minimum digit count of a number and the maximum length of a string
//   types:     %a CHAR8 string, %s or %S CHAR16 string, %c character, %d signed decimal,
//              %u unsigned decimal, %x hexadecimal (digits 0-9 A-F), %X hexadecimal padded with
//              zeros to the width, %p pointer in hexadecimal, %g EFI_GUID pointer in registry
//              form, %r EFI_STATUS by name, %% a percent sign
// The output is always NUL-terminated within BufferSize; the result is its length without
// the NUL (so at most BufferSize - 1; 0 when BufferSize is 0).
#pragma once
#include <Base.h>

UINTN AsciiVSPrint(CHAR8 *StartOfBuffer, UINTN BufferSize, CONST CHAR8 *FormatString,
                   VA_LIST Marker);
UINTN AsciiSPrint(CHAR8 *StartOfBuffer, UINTN BufferSize, CONST CHAR8 *FormatString, ...);
