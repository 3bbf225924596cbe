#include "SmmServiceDoubles.h"
#include "HeapTransfer.h"
#include "SmmServices.h"

namespace SmmServiceDoubles {

bool TraceHeapBufferPresent = false;
std::vector<uint8_t> TraceHeapBuffer;
unsigned HeapLookups = 0;
PCD_PROTOCOL *Pcd = nullptr;
void *NextAllocation = nullptr;
std::vector<size_t> AllocationSizes;
std::vector<void *> Released;

void Reset() {
  TraceHeapBufferPresent = false;
  TraceHeapBuffer.clear();
  HeapLookups = 0;
  Pcd = nullptr;
  NextAllocation = nullptr;
  AllocationSizes.clear();
  Released.clear();
}

} // namespace SmmServiceDoubles

using namespace SmmServiceDoubles;

UINT32 FindHeapBuffer(HEAP_LOOKUP_REQUEST *Request) {
  HeapLookups++;
  if (Request->Handle != DEBUG_TRACE_BUFFER_HANDLE || !TraceHeapBufferPresent) {
    Request->Size = 0;
    Request->Buffer = nullptr;
    return HEAP_BUFFER_NOT_FOUND;
  }
  Request->Size = UINT32(TraceHeapBuffer.size());
  Request->Buffer = TraceHeapBuffer.data();
  return HEAP_BUFFER_FOUND;
}

PCD_PROTOCOL *LocatePcdService() {
  return Pcd;
}

VOID *AllocateSmramPool(UINTN Size) {
  AllocationSizes.push_back(Size);
  return NextAllocation;
}

VOID ReleasePool(VOID *Buffer) {
  Released.push_back(Buffer);
}

// Nothing counts as SMRAM here: tables and buffers are ordinary host memory.
BOOLEAN AddressInSmram(EFI_PHYSICAL_ADDRESS) {
  return FALSE;
}

BOOLEAN BufferInSmram(EFI_PHYSICAL_ADDRESS, UINT64) {
  return FALSE;
}

BOOLEAN BufferOutsideSmram(EFI_PHYSICAL_ADDRESS Address, UINT64 Length) {
  return Length != 0 && Length - 1 <= ~UINT64(0) - Address;
}
