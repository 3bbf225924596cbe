// Dynamic PCD reads through PCD_PROTOCOL, located on first use.
#pragma once
#include <Base.h>
#include <Pcd.h>

// Cached after the first successful lookup; a failed lookup is retried on the next read.
extern PCD_PROTOCOL *mPcdProtocol;

// Both read 0 while PCD_PROTOCOL cannot be located.
UINT32 ReadPcd32(UINTN TokenNumber);
UINT8 ReadPcd8(UINTN TokenNumber);
