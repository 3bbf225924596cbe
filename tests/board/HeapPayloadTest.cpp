// What a [[heap]] entry puts after the record header, and the HOB lengths it implies.
#include "Board/HeapPayload.h"

#include "BoardTestSupport.h"

namespace boardsim::test {
namespace {

uint64_t ReadLittleEndian(const std::vector<uint8_t> &bytes, size_t offset, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i)
    value |= uint64_t{bytes.at(offset + i)} << (8 * i);
  return value;
}

TEST(HeapPayload, TraceBufferIsLaidOutAsADebugTraceBuffer) {
  const HeapRecord record = MustParse(R"([[heap]]
handle = 0xA014
trace_buffer = { capacity = 0x20, count = 3, enable = 1, buffered = 2, filter = "0x8000000000000400", data = "414243" }
)")
                                .heap.at(0);
  const std::vector<uint8_t> payload = HeapRecordPayload(record);
  ASSERT_EQ(payload.size(), 0x201u + 0x20);
  EXPECT_EQ(ReadLittleEndian(payload, 0x000, 4), 0xDB1099CCu); // default signature
  EXPECT_EQ(ReadLittleEndian(payload, 0x006, 2), 0x20u);
  EXPECT_EQ(ReadLittleEndian(payload, 0x008, 2), 3u);
  EXPECT_EQ(payload[0x00A], 1);
  EXPECT_EQ(payload[0x012], 2);
  EXPECT_EQ(ReadLittleEndian(payload, 0x018, 8), 0x8000000000000400u);
  EXPECT_EQ(payload[0x201], 'A');
  EXPECT_EQ(payload[0x203], 'C');
  // Everything not named stays 0: the uninterpreted header bytes and the unused data.
  size_t nonZero = 0;
  for (uint8_t byte : payload)
    nonZero += byte != 0;
  EXPECT_EQ(nonZero, 4u /*signature*/ + 1 /*capacity*/ + 1 /*count*/ + 1 /*enable*/ +
                         1 /*buffered*/ + 2 /*filter*/ + 3 /*data*/);
}

TEST(HeapPayload, SizeTruncatesOrPadsThePayload) {
  const Board board = MustParse(R"(
[[heap]]
handle = 1
data = "0102030405"
size = 2
[[heap]]
handle = 2
data = "01"
size = 4
[[heap]]
handle = 3
trace_buffer = { capacity = 8, signature = 0x11223344 }
size = 3
)");
  EXPECT_EQ(HeapRecordPayload(board.heap.at(0)), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(HeapRecordPayload(board.heap.at(1)), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(HeapRecordPayload(board.heap.at(2)), (std::vector<uint8_t>{0x44, 0x33, 0x22}));
}

TEST(HeapPayload, HobLengthCoversHeadersAndPayloadRoundedToEightBytes) {
  const Board board = MustParse(R"(
[[heap]]
handle = 1
[[heap]]
handle = 2
data = "01"
[[heap]]
handle = 3
data = "0102030405060708"
[[heap]]
handle = 4
data = "010203040506070809"
[[heap]]
handle = 5
data = "01"
hob_length = 12
)");
  EXPECT_EQ(board.heap.at(0).size, 0u);
  EXPECT_EQ(board.heap.at(0).hob_length, 40);
  EXPECT_EQ(board.heap.at(1).hob_length, 48);
  EXPECT_EQ(board.heap.at(2).hob_length, 48);
  EXPECT_EQ(board.heap.at(3).hob_length, 56);
  // A given HobLength is kept as written, even one too short for the record.
  EXPECT_EQ(board.heap.at(4).hob_length, 12);
  EXPECT_EQ(board.heap.at(4).size, 1u);
  EXPECT_EQ(MustParse("[[heap]]\nhandle = 1\nsize = 65488").heap.at(0).hob_length, 0xFFF8);
}

} // namespace
} // namespace boardsim::test
