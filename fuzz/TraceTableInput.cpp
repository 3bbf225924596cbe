#include "Targets.h"

namespace boardsim::fuzz {
namespace {

constexpr uint32_t kTraceBufferSignature = 0xDB1099CC;
constexpr uint32_t kTraceBufferHeaderSize = 0x201;
constexpr uint32_t kS3TableHeaderSize = 48;
constexpr uint32_t kBoundaryMarkerSize = 4;
constexpr uint32_t kEndMarkSize = 2;
const S3TableParams kDefaultTable{};

// The trace buffer: capacity u16, count u16, enable u8, buffered u8, filter u64, signature u32
// (XOR the valid one), size u16 (XOR the natural 0x201 + capacity), data (length u16, bytes;
// at most `capacity` of them count, as a board file allows).
TraceBufferSpec TakeTraceBuffer(ByteReader &input, uint32_t &size) {
  TraceBufferSpec spec;
  spec.capacity = input.Take<uint16_t>();
  spec.count = input.Take<uint16_t>();
  spec.enable = input.Take<uint8_t>();
  spec.buffered = input.Take<uint8_t>();
  spec.filter = input.Take<uint64_t>();
  spec.signature = kTraceBufferSignature ^ input.Take<uint32_t>();
  size = (kTraceBufferHeaderSize + spec.capacity) ^ input.Take<uint16_t>();
  spec.data = input.TakeBytes(input.Take<uint16_t>());
  spec.data.resize(std::min<size_t>(spec.data.size(), spec.capacity));
  return spec;
}

// The S3 save table: size u16 (at least the header), signature u32, boundary offset u16,
// boundary value u32, terminator offset u16 (each XOR its default), memory u8 (bit 0: SMRAM).
// Both offsets stay inside the table: the module reads and writes where they point, as its
// table builder promises, so an offset past the table is a wild access by design.
S3TableParams TakeS3Table(ByteReader &input) {
  S3TableParams table;
  table.size = std::max<uint32_t>(kS3TableHeaderSize, input.Take<uint16_t>());
  table.signature = kDefaultTable.signature ^ input.Take<uint32_t>();
  table.boundary_offset = (kDefaultTable.boundary_offset ^ input.Take<uint16_t>()) %
                          (table.size - kBoundaryMarkerSize + 1);
  table.boundary_value = kDefaultTable.boundary_value ^ input.Take<uint32_t>();
  table.terminator_offset =
      (kDefaultTable.terminator_offset ^ input.Take<uint16_t>()) % (table.size - kEndMarkSize + 1);
  table.table_memory = input.Take<uint8_t>() & 1 ? TableMemory::Smram : TableMemory::Boot;
  return table;
}

HeapRecord *TraceBufferRecord(Board &board) {
  for (HeapRecord &record : board.heap)
    if (record.trace_buffer)
      return &record;
  return nullptr;
}

S3TableParams *S3Table(Board &board) {
  for (BootStep &step : board.boot)
    if (step.action == BootAction::BuildS3Table)
      return &step.s3_table;
  return nullptr;
}

// The base board has both; the input replaces the trace buffer record and the table header.
void Apply(ByteReader &input, Board &board) {
  HeapRecord *record = TraceBufferRecord(board);
  record->trace_buffer = TakeTraceBuffer(input, record->size);
  record->hob_length = static_cast<uint16_t>(
      std::min<uint64_t>((40 + uint64_t{record->size} + 7) & ~uint64_t{7}, 0xFFF8));
  *S3Table(board) = TakeS3Table(input);
}

void Seeds(std::string_view, const Board &board, std::vector<Bytes> &out) {
  Board copy = board;
  HeapRecord *record = TraceBufferRecord(copy);
  const S3TableParams *table = S3Table(copy);
  if (!record && !table)
    return;
  const TraceBufferSpec spec = record ? *record->trace_buffer : TraceBufferSpec{};
  const uint32_t size = record ? record->size : kTraceBufferHeaderSize;
  const S3TableParams s3 = table ? *table : kDefaultTable;
  ByteWriter writer;
  writer.Put(spec.capacity);
  writer.Put(spec.count);
  writer.Put(spec.enable);
  writer.Put(spec.buffered);
  writer.Put(spec.filter);
  writer.Put(spec.signature ^ kTraceBufferSignature);
  writer.Put(static_cast<uint16_t>(size ^ (kTraceBufferHeaderSize + spec.capacity)));
  writer.Put(static_cast<uint16_t>(spec.data.size()));
  writer.PutBytes(spec.data);
  writer.Put(static_cast<uint16_t>(s3.size));
  writer.Put(s3.signature ^ kDefaultTable.signature);
  writer.Put(static_cast<uint16_t>(s3.boundary_offset ^ kDefaultTable.boundary_offset));
  writer.Put(s3.boundary_value ^ kDefaultTable.boundary_value);
  writer.Put(static_cast<uint16_t>(s3.terminator_offset ^ kDefaultTable.terminator_offset));
  writer.Put(static_cast<uint8_t>(s3.table_memory == TableMemory::Smram));
  out.push_back(writer.bytes());
}

} // namespace

const Target kTraceTableTarget{"trace-table", "default.toml", Apply, Seeds};

} // namespace boardsim::fuzz
