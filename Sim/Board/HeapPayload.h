// The bytes a "HEAP" record carries after its header, built from a [[heap]] entry.
#pragma once

#include "Board/Board.h"

#include <cstdint>
#include <vector>

namespace boardsim {

// A heap HOB: the GUID-extension header (8 + 16 bytes) and the 16-byte record header.
inline constexpr uint32_t kHeapHobHeaderSize = 40;

// DEBUG_TRACE_BUFFER layout, offsets from the start of the payload.
inline constexpr uint32_t kTraceBufferSignatureOffset = 0x000;
inline constexpr uint32_t kTraceBufferCapacityOffset = 0x006;
inline constexpr uint32_t kTraceBufferCountOffset = 0x008;
inline constexpr uint32_t kTraceBufferEnableOffset = 0x00A;
inline constexpr uint32_t kTraceBufferBufferedOffset = 0x012;
inline constexpr uint32_t kTraceBufferFilterOffset = 0x018;
inline constexpr uint32_t kTraceBufferDataOffset = 0x201;

// Exactly `record.size` bytes: `data`, or the trace buffer laid out as a DEBUG_TRACE_BUFFER,
// cut short or padded with 0.
std::vector<uint8_t> HeapRecordPayload(const HeapRecord &record);

} // namespace boardsim
