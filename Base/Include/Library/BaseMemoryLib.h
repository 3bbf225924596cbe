// Memory copy, fill and compare, and GUID comparison.
#pragma once
#include <Base.h>

// Copies Length bytes; the buffers may overlap. Returns DestinationBuffer.
VOID *CopyMem(VOID *DestinationBuffer, CONST VOID *SourceBuffer, UINTN Length);
// Fills Length bytes with Value. Returns Buffer.
VOID *SetMem(VOID *Buffer, UINTN Length, UINT8 Value);
VOID *ZeroMem(VOID *Buffer, UINTN Length);
// 0 when equal, otherwise the difference of the first differing bytes (as unsigned values).
INTN CompareMem(CONST VOID *DestinationBuffer, CONST VOID *SourceBuffer, UINTN Length);
BOOLEAN CompareGuid(CONST EFI_GUID *Guid1, CONST EFI_GUID *Guid2);
