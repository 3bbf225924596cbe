// Writes of this module's dynamic PCDs. PCD_PPI is looked up afresh for every write: an image that
// runs from flash has nowhere to keep the pointer. Without PCD_PPI the write is dropped.
#pragma once
#include <Base.h>

VOID WritePcd8(UINTN TokenNumber, UINT8 Value);
VOID WritePcd32(UINTN TokenNumber, UINT32 Value);
VOID WritePcd64(UINTN TokenNumber, UINT64 Value);
