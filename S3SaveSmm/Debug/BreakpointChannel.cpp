// Hands text to an external debug agent through an I/O breakpoint on port 0x99CC (debug register
// 2). The agent may provide a trace buffer, found in the SMRAM heap list, that gathers text and
// carries the agent's own level filter.
#include "DebugChannel.h"
#include "DebugSettings.h"
#include "RegisterAccess.h"
#include <DebugTraceBuffer.h>
#include <Library/CpuLib.h>
#include "HeapTransfer.h"

namespace {

constexpr UINT16 BREAKPOINT_IO_PORT = 0x99CC;
constexpr UINT32 BREAKPOINT_PORT_TAG = 0xC0BF99CC; // low 16 bits: the port
// Global enable of breakpoint 2, bit 10, R/W2 = 10b (I/O access), LEN2 = 00b (one byte).
constexpr UINTN BREAKPOINT_DR7_PATTERN = 0x2000420;
constexpr UINT32 MSR_DEBUG_AGENT_ENABLE = 0xC001100A;
constexpr UINT64 DEBUG_AGENT_ENABLE_BIT = 1;
constexpr UINTN CR4_DEBUGGING_EXTENSIONS = 1u << 3; // I/O breakpoints need CR4.DE
// Announces each gathering call to the agent with the first two bytes of its text.
constexpr UINT16 GATHER_NOTICE_PORT = 0xFFED;

BOOLEAN BreakpointPresent() {
  if (BreakpointChannelEnable == 0) {
    return FALSE;
  }
  if (DebugPrintEnable == 1) {
    return TRUE;
  }
  // An agent that already claimed the breakpoint wants the text even with printing off.
  return AsmReadDr2() == BREAKPOINT_IO_PORT;
}

BOOLEAN BreakpointArmed() {
  return (AsmReadMsr64(MSR_DEBUG_AGENT_ENABLE) & DEBUG_AGENT_ENABLE_BIT) != 0 &&
         (AsmReadDr7() & BREAKPOINT_DR7_PATTERN) == BREAKPOINT_DR7_PATTERN &&
         (AsmReadCr4() & CR4_DEBUGGING_EXTENSIONS) != 0;
}

VOID BreakpointConstructor() {
  if (!BreakpointPresent() || BreakpointArmed()) {
    return;
  }
  AsmMsrOr64(MSR_DEBUG_AGENT_ENABLE, DEBUG_AGENT_ENABLE_BIT);
  AsmWriteDr2(BREAKPOINT_IO_PORT);
  AsmWriteDr7(BREAKPOINT_DR7_PATTERN);
  AsmWriteCr4(AsmReadCr4() | CR4_DEBUGGING_EXTENSIONS);
}

// Looked up on every use: the agent signals a buffer through debug register 3 and may withdraw it.
// A heap buffer too small for its header and Capacity is not used, so gathering stays inside it.
DEBUG_TRACE_BUFFER *LocateTraceBuffer() {
  if (AsmReadDr3() == 0) {
    return nullptr;
  }
  HEAP_LOOKUP_REQUEST Request = {DEBUG_TRACE_BUFFER_HANDLE, 0, nullptr};
  if (FindHeapBuffer(&Request) != HEAP_BUFFER_FOUND ||
      Request.Size < DEBUG_TRACE_BUFFER_HEADER_SIZE) {
    return nullptr;
  }
  auto *Buffer = static_cast<DEBUG_TRACE_BUFFER *>(Request.Buffer);
  if (Buffer->Signature != DEBUG_TRACE_BUFFER_SIGNATURE ||
      Request.Size < DEBUG_TRACE_BUFFER_HEADER_SIZE + Buffer->Capacity) {
    return nullptr;
  }
  return Buffer;
}

BOOLEAN BreakpointGetFilter(UINT64 *Filter) {
  const DEBUG_TRACE_BUFFER *Buffer = LocateTraceBuffer();
  if (Buffer != nullptr) {
    *Filter = Buffer->Filter;
  }
  return TRUE;
}

// The gathered bytes stay in Data; a full buffer is handed over when the next byte arrives.
VOID GatherIntoTraceBuffer(CONST CHAR8 *Text, UINTN Length, DEBUG_TRACE_BUFFER *Buffer) {
  if (Buffer == nullptr || Text == nullptr) {
    return;
  }
  const UINT16 Notice = UINT16(UINT8(Text[0]) | UINT8(Text[1]) << 8);
  WriteIoPort(AccessWidth16, GATHER_NOTICE_PORT, &Notice);
  UINT8 *Data = DebugTraceBufferData(Buffer);
  for (UINTN Index = 0; Index < Length; Index++) {
    if (Buffer->Count >= Buffer->Capacity) {
      BreakpointPortWrite(Data, Buffer->Capacity);
      Buffer->Count = 0;
    }
    // A buffer without capacity keeps nothing: the store would land past it.
    if (Buffer->Count < Buffer->Capacity) {
      Data[Buffer->Count++] = UINT8(Text[Index]);
    }
  }
}

VOID BreakpointPrint(CONST CHAR8 *Text, UINTN Length) {
  if (!BreakpointPresent()) {
    return;
  }
  DEBUG_TRACE_BUFFER *Buffer = LocateTraceBuffer();
  if (Buffer != nullptr) {
    if (Buffer->Enable != 1) {
      return;
    }
    if (Buffer->Buffered == 1) {
      GatherIntoTraceBuffer(Text, Length, Buffer);
      return;
    }
  }
  BreakpointPortWrite(Text, Length);
}

} // namespace

VOID BreakpointPortWrite(CONST VOID *Address, UINTN Length) {
  AsmIoPortHandOver(BREAKPOINT_PORT_TAG, Address, UINT32(Length));
}

constexpr DEBUG_OUTPUT_CHANNEL BreakpointChannel = {BreakpointPresent, BreakpointConstructor,
                                                    BreakpointGetFilter, BreakpointPrint};
