// CopyMem in both overlap directions, SetMem/ZeroMem bounds, CompareMem ordering, CompareGuid.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include <Guids.h>
#include <Library/BaseMemoryLib.h>

namespace {

std::vector<UINT8> Sequence(UINTN Count) {
  std::vector<UINT8> Bytes(Count);
  std::iota(Bytes.begin(), Bytes.end(), UINT8(1));
  return Bytes;
}

TEST(BaseMemoryLib, CopyMemHandlesOverlapInBothDirections) {
  // Destination after the source: a forward byte copy would smear the first bytes.
  std::vector<UINT8> Forward = Sequence(16);
  EXPECT_EQ(CopyMem(Forward.data() + 3, Forward.data(), 10), Forward.data() + 3);
  EXPECT_EQ(Forward, (std::vector<UINT8>{1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15, 16}));

  // Destination before the source: a backward byte copy would smear the last bytes.
  std::vector<UINT8> Backward = Sequence(16);
  CopyMem(Backward.data(), Backward.data() + 3, 10);
  EXPECT_EQ(Backward,
            (std::vector<UINT8>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 11, 12, 13, 14, 15, 16}));

  // Disjoint buffers and a zero length.
  std::vector<UINT8> Source = Sequence(8);
  std::vector<UINT8> Destination(8, 0);
  CopyMem(Destination.data(), Source.data(), 8);
  EXPECT_EQ(Destination, Source);
  CopyMem(Destination.data(), nullptr, 0);
  EXPECT_EQ(Destination, Source);
}

TEST(BaseMemoryLib, SetMemAndZeroMemStayInsideTheRange) {
  std::vector<UINT8> Bytes(8, 0x11);
  EXPECT_EQ(SetMem(Bytes.data() + 2, 4, 0xA5), Bytes.data() + 2);
  EXPECT_EQ(Bytes, (std::vector<UINT8>{0x11, 0x11, 0xA5, 0xA5, 0xA5, 0xA5, 0x11, 0x11}));
  ZeroMem(Bytes.data() + 1, 2);
  EXPECT_EQ(Bytes, (std::vector<UINT8>{0x11, 0, 0, 0xA5, 0xA5, 0xA5, 0x11, 0x11}));
}

TEST(BaseMemoryLib, CompareMemOrdersByFirstDifferenceAsUnsignedBytes) {
  const UINT8 Low[] = {1, 2, 3, 0x01};
  const UINT8 High[] = {1, 2, 3, 0xF0};
  EXPECT_EQ(CompareMem(Low, Low, sizeof(Low)), 0);
  EXPECT_LT(CompareMem(Low, High, sizeof(Low)), 0);
  EXPECT_GT(CompareMem(High, Low, sizeof(Low)), 0);
  EXPECT_EQ(CompareMem(Low, High, 3), 0) << "bytes past Length were compared";
}

TEST(BaseMemoryLib, CompareGuidLooksAtAllSixteenBytes) {
  EFI_GUID Copy = EFI_HOB_LIST_GUID;
  EXPECT_TRUE(CompareGuid(&Copy, &EFI_HOB_LIST_GUID));
  EXPECT_FALSE(CompareGuid(&PCD_PROTOCOL_GUID, &PCD_PPI_GUID));
  for (UINTN Byte = 0; Byte < sizeof(EFI_GUID); Byte++) {
    EFI_GUID Changed = EFI_HOB_LIST_GUID;
    reinterpret_cast<UINT8 *>(&Changed)[Byte] ^= 0x80;
    EXPECT_FALSE(CompareGuid(&Changed, &EFI_HOB_LIST_GUID)) << "byte " << Byte << " ignored";
  }
}

} // namespace
