// The header Size and HobLength a [[heap]] entry resolves to when it does not give them.
#include "BoardTestSupport.h"

namespace boardsim::test {
namespace {

TEST(HeapRecord, SizeIsThePayloadLengthUnlessGiven) {
  const Board board = MustParse(R"(
[[heap]]
handle = 1
[[heap]]
handle = 2
data = "0102030405"
[[heap]]
handle = 3
data = "0102030405"
size = 2
[[heap]]
handle = 4
trace_buffer = { capacity = 0x20 }
[[heap]]
handle = 5
trace_buffer = { capacity = 0x20 }
size = 0x300
)");
  ASSERT_EQ(board.heap.size(), 5u);
  EXPECT_EQ(board.heap.at(0).size, 0u);
  EXPECT_EQ(board.heap.at(1).size, 5u);
  EXPECT_EQ(board.heap.at(2).size, 2u); // shorter than `data`: the payload is cut short
  EXPECT_EQ(board.heap.at(2).data.size(), 5u);
  EXPECT_EQ(board.heap.at(3).size, 0x201u + 0x20); // DEBUG_TRACE_BUFFER header + capacity
  EXPECT_EQ(board.heap.at(4).size, 0x300u);
}

TEST(HeapRecord, HobLengthCoversHeadersAndPayloadRoundedToEightBytes) {
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
trace_buffer = { capacity = 16 }
[[heap]]
handle = 6
data = "01"
hob_length = 12
)");
  ASSERT_EQ(board.heap.size(), 6u);
  EXPECT_EQ(board.heap.at(0).hob_length, 40);
  EXPECT_EQ(board.heap.at(1).hob_length, 48);
  EXPECT_EQ(board.heap.at(2).hob_length, 48);
  EXPECT_EQ(board.heap.at(3).hob_length, 56);
  EXPECT_EQ(board.heap.at(4).hob_length, 0x240); // 40 + 0x211 = 0x239, rounded up
  // A given HobLength is kept as written, even one too short for the record.
  EXPECT_EQ(board.heap.at(5).hob_length, 12);
  EXPECT_EQ(board.heap.at(5).size, 1u);
  // The largest payload whose HOB length still fits in 16 bits.
  EXPECT_EQ(MustParse("[[heap]]\nhandle = 1\nsize = 65488").heap.at(0).hob_length, 0xFFF8);
}

TEST(HeapRecord, TraceBufferFieldsKeepTheirWidths) {
  // `size` keeps the HOB within 16 bits; the capacity field still holds its full width.
  const TraceBufferSpec spec = MustParse(R"([[heap]]
handle = 0xA014
size = 0x300
trace_buffer = { capacity = 0xFFFF, count = 0xFFFF, enable = 0xFF, buffered = 0xFF, filter = "0xFFFFFFFFFFFFFFFF" }
)")
                                   .heap.at(0)
                                   .trace_buffer.value();
  EXPECT_EQ(spec.capacity, 0xFFFF);
  EXPECT_EQ(spec.count, 0xFFFF);
  EXPECT_EQ(spec.enable, 0xFF);
  EXPECT_EQ(spec.buffered, 0xFF);
  EXPECT_EQ(spec.filter, UINT64_MAX);
  EXPECT_EQ(spec.signature, 0xDB1099CCu);
  const std::vector<BoardError> errors =
      MustFail("[[heap]]\nhandle = 1\ntrace_buffer = { capacity = 0x10000, enable = 256 }");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].key, "heap[0].trace_buffer.capacity");
  EXPECT_EQ(errors[1].key, "heap[0].trace_buffer.enable");
}

TEST(HeapRecord, TheWholeListFitsThePlatformMemory) {
  // One record of the largest size fits; a second one of that size does not.
  const std::string large = "[[heap]]\nhandle = 1\nsize = 0xFFFFFF\nhob_length = 48\n";
  EXPECT_EQ(MustParse(large).heap.size(), 1u);
  const std::vector<BoardError> errors = MustFail(large + large + large);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].key, "heap[1].size");
}

} // namespace
} // namespace boardsim::test
