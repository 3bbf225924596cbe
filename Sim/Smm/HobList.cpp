// The HOB list an earlier phase leaves behind (PI 1.8 volume 3): a handoff HOB, one
// GUID-extension HOB per [[heap]] record, and the end-of-list HOB. Malformed records are laid out
// exactly as described (a HobLength shorter than the record makes the next HOB overlap it).
#include "Core/Simulator.h"
#include "Smm/SmmState.h"

#include <DebugTraceBuffer.h>
#include <SmmHeapList.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace boardsim {
namespace {

std::vector<uint8_t> TraceBufferPayload(const TraceBufferSpec &spec) {
  std::vector<uint8_t> payload(DEBUG_TRACE_BUFFER_HEADER_SIZE + spec.capacity, 0);
  DEBUG_TRACE_BUFFER header{};
  header.Signature = spec.signature;
  header.Capacity = spec.capacity;
  header.Count = spec.count;
  header.Enable = spec.enable;
  header.Buffered = spec.buffered;
  header.Filter = spec.filter;
  std::memcpy(payload.data(), &header, sizeof header);
  std::copy_n(spec.data.begin(), std::min<size_t>(spec.data.size(), spec.capacity),
              payload.begin() + DEBUG_TRACE_BUFFER_HEADER_SIZE);
  return payload;
}

} // namespace

static_assert(sizeof(HEAP_TRANSFER_HOB) == kHeapHobHeaderSize);

void *BuildHobList(Simulator &sim) {
  const std::vector<HeapRecord> &records = sim.board().heap;
  size_t total = sizeof(EFI_HOB_HANDOFF_INFO_TABLE) + sizeof(EFI_HOB_GENERIC_HEADER);
  for (const HeapRecord &record : records)
    total += HeapRecordFootprint(record);
  auto *list = static_cast<uint8_t *>(sim.memory().Allocate(Space::Platform, total));
  if (!list) // the board file's check keeps the records within the platform pool
    throw std::runtime_error("the HOB list of " + std::to_string(total) +
                             " bytes does not fit the platform pool");
  uint8_t *cursor = list;

  EFI_HOB_HANDOFF_INFO_TABLE handoff{};
  handoff.Header = {EFI_HOB_TYPE_HANDOFF, sizeof handoff, 0};
  handoff.Version = EFI_HOB_HANDOFF_TABLE_VERSION;
  std::memcpy(cursor, &handoff, sizeof handoff);
  cursor += sizeof handoff;

  for (const HeapRecord &record : records) {
    std::vector<uint8_t> payload =
        record.trace_buffer ? TraceBufferPayload(*record.trace_buffer) : record.data;
    payload.resize(record.size, 0);
    HEAP_TRANSFER_HOB hob{};
    hob.Header.Header = {EFI_HOB_TYPE_GUID_EXTENSION, record.hob_length, 0};
    std::memcpy(&hob.Header.Name, record.guid.data(), sizeof(EFI_GUID));
    hob.Record = {record.signature, record.handle,        record.size,
                  record.kind,      record.copy_to_smram, 0};
    std::memcpy(cursor, &hob, sizeof hob);
    if (!payload.empty())
      std::memcpy(cursor + sizeof hob, payload.data(), payload.size());
    cursor += record.hob_length;
  }
  EFI_HOB_GENERIC_HEADER end = {EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof end, 0};
  std::memcpy(cursor, &end, sizeof end);
  reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(list)->EfiEndOfHobList =
      reinterpret_cast<uint64_t>(cursor);
  return list;
}

} // namespace boardsim
