// Test-controlled stand-ins for the driver's SMRAM services that the debug channels and the S3
// save library call: the heap lookup, the PCD service and the SMRAM pool.
#pragma once
#include <Pcd.h>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace SmmServiceDoubles {

// The payload FindHeapBuffer returns for the trace buffer handle; absent unless set.
extern bool TraceHeapBufferPresent;
extern std::vector<uint8_t> TraceHeapBuffer;
extern unsigned HeapLookups;

// What LocatePcdService returns.
extern PCD_PROTOCOL *Pcd;

// AllocateSmramPool hands out NextAllocation (NULL: the pool is exhausted).
extern void *NextAllocation;
extern std::vector<size_t> AllocationSizes;
extern std::vector<void *> Released;

void Reset();

} // namespace SmmServiceDoubles
