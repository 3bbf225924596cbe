#include "Board/HeapPayload.h"

#include <algorithm>

namespace boardsim {

namespace {

void PutLittleEndian(std::vector<uint8_t> &bytes, uint32_t offset, uint64_t value, uint32_t width) {
  for (uint32_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

std::vector<uint8_t> TraceBufferImage(const TraceBufferSpec &spec) {
  std::vector<uint8_t> bytes(kTraceBufferDataOffset + spec.capacity, 0);
  PutLittleEndian(bytes, kTraceBufferSignatureOffset, spec.signature, 4);
  PutLittleEndian(bytes, kTraceBufferCapacityOffset, spec.capacity, 2);
  PutLittleEndian(bytes, kTraceBufferCountOffset, spec.count, 2);
  PutLittleEndian(bytes, kTraceBufferEnableOffset, spec.enable, 1);
  PutLittleEndian(bytes, kTraceBufferBufferedOffset, spec.buffered, 1);
  PutLittleEndian(bytes, kTraceBufferFilterOffset, spec.filter, 8);
  const size_t used = std::min<size_t>(spec.data.size(), spec.capacity);
  std::copy_n(spec.data.begin(), used, bytes.begin() + kTraceBufferDataOffset);
  return bytes;
}

} // namespace

std::vector<uint8_t> HeapRecordPayload(const HeapRecord &record) {
  std::vector<uint8_t> payload =
      record.trace_buffer ? TraceBufferImage(*record.trace_buffer) : record.data;
  payload.resize(record.size, 0);
  return payload;
}

} // namespace boardsim
