#include "Board/BoardSections.h"
#include "Board/BoardText.h"
#include "Board/NumberFormat.h"

namespace boardsim {

namespace {

// Keeps a record's payload a size the simulator can place in memory.
constexpr uint32_t kMaxHeapSize = 0xFFFFFF;
// A DEBUG_TRACE_BUFFER's data follows its 0x201-byte header.
constexpr uint32_t kTraceBufferDataOffset = 0x201;

std::optional<TraceBufferSpec> ReadTraceBuffer(TableReader &entry) {
  std::optional<TableReader> table = entry.SubTable("trace_buffer");
  if (!table)
    return std::nullopt;
  TraceBufferSpec spec;
  table->Unsigned("capacity", spec.capacity);
  table->Unsigned("count", spec.count);
  table->Unsigned("enable", spec.enable);
  table->Unsigned("buffered", spec.buffered);
  table->Unsigned("filter", spec.filter);
  table->Unsigned("signature", spec.signature);
  table->Bytes("data", spec.data);
  table->RejectUnknownKeys();
  if (spec.data.size() > spec.capacity) {
    table->reader().Report(table->Find("data")->source(), table->KeyPath("data"),
                           std::to_string(spec.data.size()) +
                               " data bytes do not fit in a capacity of " +
                               std::to_string(spec.capacity),
                           "raise `capacity` or shorten `data`");
  }
  return spec;
}

void ReadGuid(TableReader &entry, HeapRecord &record) {
  std::optional<std::string> text;
  entry.String("guid", text);
  if (!text)
    return;
  auto guid = ParseGuid(*text);
  if (!guid.value) {
    entry.reader().Report(entry.Find("guid")->source(), entry.KeyPath("guid"), guid.problem,
                          "write it like D97D161A-16CD-4ADA-B9F6-AEC3F9FCCC2C");
    return;
  }
  record.guid = *guid.value;
}

// The header's Size and the HobLength that follows from it, unless the entry gives them.
void ResolveLengths(TableReader &entry, HeapRecord &record) {
  std::optional<uint32_t> size;
  std::optional<uint16_t> hobLength;
  entry.Unsigned("size", size, 0, kMaxHeapSize);
  entry.Unsigned("hob_length", hobLength);
  record.size = size.value_or(static_cast<uint32_t>(
      record.trace_buffer ? kTraceBufferDataOffset + record.trace_buffer->capacity
                          : record.data.size()));
  if (hobLength) {
    record.hob_length = *hobLength;
    return;
  }
  const uint64_t length = (kHeapHobHeaderSize + uint64_t{record.size} + 7) & ~uint64_t{7};
  if (length > UINT16_MAX) {
    entry.reader().Report(entry.source(), entry.KeyPath("size"),
                          "a payload of " + std::to_string(record.size) +
                              " bytes makes the HOB longer than its 16-bit HobLength allows",
                          "keep the payload at most 65488 bytes, or give `hob_length` "
                          "to describe a malformed HOB");
    return;
  }
  record.hob_length = static_cast<uint16_t>(length);
}

} // namespace

void ReadHeapSection(TableReader &root, Board &board) {
  for (TableReader &entry : root.TableArray("heap")) {
    HeapRecord record;
    record.line = entry.source().begin.line;
    entry.Require("handle", "give the handle the buffer is looked up by, e.g. handle = 0xA014");
    entry.Unsigned("handle", record.handle);
    entry.Unsigned("kind", record.kind);
    entry.Unsigned("copy_to_smram", record.copy_to_smram);
    entry.Bytes("data", record.data);
    record.trace_buffer = ReadTraceBuffer(entry);
    entry.Unsigned("signature", record.signature);
    ReadGuid(entry, record);
    if (entry.Find("data") != nullptr && entry.Find("trace_buffer") != nullptr) {
      entry.reader().Report(entry.Find("trace_buffer")->source(), entry.KeyPath("trace_buffer"),
                            "`data` and `trace_buffer` both give the payload",
                            "keep one of the two");
    }
    ResolveLengths(entry, record);
    entry.RejectUnknownKeys();
    board.heap.push_back(std::move(record));
  }
}

} // namespace boardsim
