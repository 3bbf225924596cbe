/* A C99 module of a platform that includes every interface header of the board. Its view of
   the layouts is exported for the C++ test to compare with the modules' own view. */
#include <BoardInfoPpi.h>
#include <BoardInfoProtocol.h>
#include <DebugTraceBuffer.h>
#include <Guids.h>
#include <PcdTokens.h>
#include <PlatformPpis.h>
#include <S3SaveTable.h>
#include <SetupVariable.h>
#if !defined(__i386__) /* SMRAM layouts belong to the x64 SMM phase */
#include <SmmHeapList.h>
#endif

#include "LayoutFact.h"

const LAYOUT_FACT CLayoutFacts[] = {
#include "LayoutFacts.inc"
};
const UINTN CLayoutFactCount = sizeof(CLayoutFacts) / sizeof(CLayoutFacts[0]);

/* The accessor macro gives the same address as the C++ function. */
UINT8 *CDebugTraceBufferData(DEBUG_TRACE_BUFFER *Buffer) {
  return DebugTraceBufferData(Buffer);
}
