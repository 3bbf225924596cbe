#include "ConsoleLine.h"

#include <Library/UefiBootServicesTableLib.h>

VOID ConsoleLine::Emit() {
  CHAR16 Wide[Capacity + 3];
  for (UINTN Index = 0; Index < Length; ++Index) {
    Wide[Index] = static_cast<CHAR16>(Buffer[Index]);
  }
  Wide[Length] = u'\r';
  Wide[Length + 1] = u'\n';
  Wide[Length + 2] = u'\0';
  gST->ConOut->OutputString(gST->ConOut, Wide);
}
