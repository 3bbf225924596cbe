// Byte-wise memory routines. They stay plain loops: the images are small and these run on
// short buffers (records, GUIDs, message headers). A firmware image's memcpy, memmove and
// memset are built on them, so the loops are marked no_builtin: the compiler must not turn
// them back into calls of those routines.
#include <Library/BaseMemoryLib.h>

__attribute__((no_builtin)) VOID *CopyMem(VOID *DestinationBuffer, CONST VOID *SourceBuffer,
                                          UINTN Length) {
  auto *Destination = static_cast<UINT8 *>(DestinationBuffer);
  auto *Source = static_cast<CONST UINT8 *>(SourceBuffer);
  if (reinterpret_cast<UINTN>(Destination) <= reinterpret_cast<UINTN>(Source)) {
    for (UINTN Index = 0; Index < Length; Index++) {
      Destination[Index] = Source[Index];
    }
  } else {
    // The destination starts inside or after the source: copy from the end so that an
    // overlapping source is read before it is overwritten.
    while (Length-- > 0) {
      Destination[Length] = Source[Length];
    }
  }
  return DestinationBuffer;
}

__attribute__((no_builtin)) VOID *SetMem(VOID *Buffer, UINTN Length, UINT8 Value) {
  auto *Bytes = static_cast<UINT8 *>(Buffer);
  for (UINTN Index = 0; Index < Length; Index++) {
    Bytes[Index] = Value;
  }
  return Buffer;
}

VOID *ZeroMem(VOID *Buffer, UINTN Length) {
  return SetMem(Buffer, Length, 0);
}

INTN CompareMem(CONST VOID *DestinationBuffer, CONST VOID *SourceBuffer, UINTN Length) {
  auto *Destination = static_cast<CONST UINT8 *>(DestinationBuffer);
  auto *Source = static_cast<CONST UINT8 *>(SourceBuffer);
  for (UINTN Index = 0; Index < Length; Index++) {
    if (Destination[Index] != Source[Index]) {
      return INTN(Destination[Index]) - INTN(Source[Index]);
    }
  }
  return 0;
}

BOOLEAN CompareGuid(CONST EFI_GUID *Guid1, CONST EFI_GUID *Guid2) {
  return CompareMem(Guid1, Guid2, sizeof(EFI_GUID)) == 0 ? TRUE : FALSE;
}
