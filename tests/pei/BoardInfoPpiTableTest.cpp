#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "BoardInfoPpiTable.h"

namespace {

// Buffers larger than what an entry may write, so a write past the end shows up as a changed
// guard byte.
constexpr uint8_t kGuard = 0xAA;
using Buffer = std::array<uint8_t, 16>;

Buffer Guarded() {
  Buffer Bytes;
  Bytes.fill(kGuard);
  return Bytes;
}

void ExpectGuardFrom(const Buffer &Bytes, size_t First) {
  for (size_t Index = First; Index < Bytes.size(); ++Index) {
    EXPECT_EQ(Bytes[Index], kGuard) << "byte " << Index;
  }
}

BOARD_INFO_PPI *This() {
  return const_cast<BOARD_INFO_PPI *>(&mBoardInfoPpi);
}

TEST(BoardInfoPpi, ReservedSlotsAreNullAndAnswersAreNot) {
  EXPECT_EQ(mBoardInfoPpi.PeiReserved1, nullptr);
  EXPECT_EQ(mBoardInfoPpi.PeiReserved2, nullptr);
  EXPECT_EQ(mBoardInfoPpi.PeiReserved5, nullptr);
  EXPECT_EQ(mBoardInfoPpi.PeiReserved8, nullptr);
  EXPECT_EQ(mBoardInfoPpi.PeiReserved9, nullptr);
  ASSERT_NE(mBoardInfoPpi.PeiBooleanQuery0, nullptr);
  ASSERT_NE(mBoardInfoPpi.PeiRecordQuery3, nullptr);
  ASSERT_NE(mBoardInfoPpi.PeiBooleanQuery4, nullptr);
  ASSERT_NE(mBoardInfoPpi.PeiFlagsQuery6, nullptr);
  ASSERT_NE(mBoardInfoPpi.PeiValueQuery7, nullptr);
}

TEST(BoardInfoPpi, ConstantAnswersTouchNoArgument) {
  Buffer First = Guarded();
  Buffer Second = Guarded();
  EXPECT_EQ(mBoardInfoPpi.PeiBooleanQuery0(nullptr, This(), First.data(), Second.data()), FALSE);
  EXPECT_EQ(mBoardInfoPpi.PeiBooleanQuery4(nullptr, This(), First.data(), Second.data()), TRUE);
  EXPECT_EQ(mBoardInfoPpi.PeiValueQuery7(nullptr, This(), First.data(), Second.data()), 0u);
  ExpectGuardFrom(First, 0);
  ExpectGuardFrom(Second, 0);
}

TEST(BoardInfoPpi, RecordQueryFillsRecordAndFlag) {
  Buffer Record = Guarded();
  Buffer Flag = Guarded();
  EXPECT_EQ(mBoardInfoPpi.PeiRecordQuery3(nullptr, This(), Record.data(), Flag.data()),
            EFI_SUCCESS);
  EXPECT_EQ(Record[0], 0x54); // 'T'
  EXPECT_EQ(Record[1], 0x1B);
  EXPECT_EQ(Record[2], 0x01);
  EXPECT_EQ(Record[3], 0x01);
  ExpectGuardFrom(Record, 4);
  EXPECT_EQ(Flag[0], 0x01);
  ExpectGuardFrom(Flag, 1);
}

TEST(BoardInfoPpi, FlagsQuerySetsFiveFlagsOnly) {
  Buffer Flags = Guarded();
  Buffer Unread = Guarded();
  EXPECT_EQ(mBoardInfoPpi.PeiFlagsQuery6(nullptr, This(), Flags.data(), Unread.data()),
            EFI_SUCCESS);
  for (size_t Index = 0; Index < 5; ++Index) {
    EXPECT_EQ(Flags[Index], 0x01) << "flag " << Index;
  }
  ExpectGuardFrom(Flags, 5);
  ExpectGuardFrom(Unread, 0);
}

TEST(BoardInfoPpi, MissingOutputIsRejectedWithoutWrites) {
  Buffer Kept = Guarded();
  EXPECT_EQ(mBoardInfoPpi.PeiRecordQuery3(nullptr, This(), nullptr, Kept.data()),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(mBoardInfoPpi.PeiRecordQuery3(nullptr, This(), Kept.data(), nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(mBoardInfoPpi.PeiFlagsQuery6(nullptr, This(), nullptr, Kept.data()),
            EFI_INVALID_PARAMETER);
  ExpectGuardFrom(Kept, 0);
}

} // namespace
