#include "Targets.h"

#include "Board/MemoryMap.h"

namespace boardsim::fuzz {
namespace {

// Per record: handle u32, kind u8, copy_to_smram u8, signature u32 (XOR "HEAP", so 0 is a good
// header), flags u8, then what the flags ask for, then the payload (length u16, bytes).
enum Flag : uint8_t {
  kGivenSize = 1,      // size u16: the header's Size, independent of the payload
  kLargeSize = 2,      // size u32 (up to what a board file allows) instead
  kGivenHobLength = 4, // hob_length u16: a malformed HOB
  kGivenGuid = 8,      // guid, 16 bytes: a HOB of another name
};
constexpr uint32_t kMaxHeapSize = 0xFFFFFF;
constexpr size_t kMaxRecords = 32;

uint16_t NaturalHobLength(uint32_t size) {
  // A board file cannot leave hob_length out when it overflows; it then gives the largest.
  uint64_t length = (kHeapHobHeaderSize + uint64_t{size} + 7) & ~uint64_t{7};
  return length > UINT16_MAX ? 0xFFF8 : static_cast<uint16_t>(length);
}

HeapRecord TakeRecord(ByteReader &input) {
  HeapRecord record;
  record.handle = input.Take<uint32_t>();
  record.kind = input.Take<uint8_t>();
  record.copy_to_smram = input.Take<uint8_t>();
  record.signature = kHeapRecordSignature ^ input.Take<uint32_t>();
  const uint8_t flags = input.Take<uint8_t>();
  std::optional<uint32_t> size;
  if (flags & kLargeSize)
    size = input.Take<uint32_t>() & kMaxHeapSize;
  else if (flags & kGivenSize)
    size = input.Take<uint16_t>();
  std::optional<uint16_t> hobLength;
  if (flags & kGivenHobLength)
    hobLength = input.Take<uint16_t>();
  if (flags & kGivenGuid)
    for (uint8_t &byte : record.guid)
      byte = input.Take<uint8_t>();
  record.data = input.TakeBytes(input.Take<uint16_t>());
  record.size = size.value_or(static_cast<uint32_t>(record.data.size()));
  record.hob_length = hobLength.value_or(NaturalHobLength(record.size));
  return record;
}

// The input is the whole list of heap records, in HOB order, as far as a board file could
// describe it (the list fits the platform's HOB memory).
void Apply(ByteReader &input, Board &board) {
  board.heap.clear();
  uint64_t footprint = 0;
  while (!input.Empty() && board.heap.size() < kMaxRecords) {
    HeapRecord record = TakeRecord(input);
    footprint += HeapRecordFootprint(record);
    if (footprint > kHobListMaxSize / 2) // well within what `check` lets a board have
      break;
    board.heap.push_back(std::move(record));
  }
}

void Seeds(std::string_view, const Board &board, std::vector<Bytes> &out) {
  if (board.heap.empty())
    return;
  ByteWriter writer;
  for (const HeapRecord &record : board.heap) {
    // A trace-buffer payload is seeded as zeros of its size; the trace-table target covers it.
    const Bytes data =
        record.trace_buffer
            ? Bytes{}
            : Bytes(record.data.begin(),
                    record.data.begin() + std::min<size_t>(record.data.size(), UINT16_MAX));
    uint8_t flags = record.size > UINT16_MAX ? kLargeSize : kGivenSize;
    if (record.hob_length != NaturalHobLength(record.size))
      flags |= kGivenHobLength;
    if (record.guid != kHeapTransferHobGuid)
      flags |= kGivenGuid;
    writer.Put(record.handle);
    writer.Put(record.kind);
    writer.Put(record.copy_to_smram);
    writer.Put(record.signature ^ kHeapRecordSignature);
    writer.Put(flags);
    if (flags & kLargeSize)
      writer.Put(record.size);
    else
      writer.Put(static_cast<uint16_t>(record.size));
    if (flags & kGivenHobLength)
      writer.Put(record.hob_length);
    if (flags & kGivenGuid)
      for (uint8_t byte : record.guid)
        writer.Put(byte);
    writer.Put(static_cast<uint16_t>(data.size()));
    writer.PutBytes(data);
  }
  out.push_back(writer.bytes());
}

} // namespace

const Target kHeapTarget{"heap", "smm-normal.toml", Apply, Seeds};

} // namespace boardsim::fuzz
