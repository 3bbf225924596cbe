#include "FakeFirmware.h"
#include <gtest/gtest.h>

#include "SmmServices.h"

namespace {

// A range that is only ever compared against, never touched.
constexpr EFI_SMRAM_DESCRIPTOR kFarRange = {0x00200000, 0x7F100000, 0x00010000, 0};

EFI_PHYSICAL_ADDRESS End(const EFI_SMRAM_DESCRIPTOR &Range) {
  return Range.CpuStart + Range.PhysicalSize;
}

class SmramServices : public testing::Test {
protected:
  void SetUp() override {
    Firmware.SmramMap = {Firmware.SmramArenaRange(), kFarRange};
    gSmst = nullptr;
    LocateSmst();
  }
  void TearDown() override { ReleaseSmramRanges(); }

  FakeFirmware Firmware;
};

TEST_F(SmramServices, CopiesTheSmramMapIntoSmramPool) {
  ASSERT_EQ(gSmst, &Firmware.Smst);
  LoadSmramRanges();

  ASSERT_EQ(Firmware.CapabilityCalls.size(), 2u);
  EXPECT_EQ(Firmware.CapabilityCalls[0], (std::pair<UINTN, VOID *>{0, nullptr}));
  ASSERT_EQ(Firmware.SmramAllocations.size(), 1u);
  EXPECT_EQ(Firmware.SmramAllocations[0].first, EfiRuntimeServicesData);
  EXPECT_EQ(Firmware.SmramAllocations[0].second, 2 * sizeof(EFI_SMRAM_DESCRIPTOR));
  EXPECT_EQ(Firmware.CapabilityCalls[1].first, 2 * sizeof(EFI_SMRAM_DESCRIPTOR));
  EXPECT_NE(Firmware.CapabilityCalls[1].second, nullptr);
  // The copy itself lives in SMRAM, so releasing it goes back to the SMRAM pool.
  ReleaseSmramRanges();
  EXPECT_EQ(Firmware.SmramFrees, std::vector<VOID *>{Firmware.CapabilityCalls[1].second});
  EXPECT_TRUE(Firmware.BootFrees.empty());
}

TEST_F(SmramServices, AddressInSmramCoversCpuStartUpToButNotIncludingTheEnd) {
  LoadSmramRanges();
  for (const EFI_SMRAM_DESCRIPTOR &Range : {Firmware.SmramArenaRange(), kFarRange}) {
    SCOPED_TRACE(Range.CpuStart);
    EXPECT_TRUE(AddressInSmram(Range.CpuStart));
    EXPECT_TRUE(AddressInSmram(End(Range) - 1));
    EXPECT_FALSE(AddressInSmram(Range.CpuStart - 1));
    EXPECT_FALSE(AddressInSmram(End(Range)));
    // PhysicalStart describes the same memory from another view; only CpuStart counts.
    EXPECT_FALSE(AddressInSmram(Range.PhysicalStart));
  }
}

// A buffer is in SMRAM only when all of it lies in one range, and outside only when none of it
// touches a range; one that straddles an edge is neither, and one that wraps is never accepted.
TEST_F(SmramServices, BuffersAreJudgedWholeAgainstEveryRange) {
  LoadSmramRanges();
  const EFI_PHYSICAL_ADDRESS Start = kFarRange.CpuStart, End = ::End(kFarRange);
  EXPECT_TRUE(BufferInSmram(Start, kFarRange.PhysicalSize));
  EXPECT_TRUE(BufferInSmram(End - 2, 2));
  EXPECT_FALSE(BufferOutsideSmram(End - 2, 2));
  EXPECT_FALSE(BufferInSmram(End - 1, 2));
  EXPECT_FALSE(BufferOutsideSmram(End - 1, 2));
  EXPECT_FALSE(BufferOutsideSmram(Start - 1, 2));
  EXPECT_TRUE(BufferOutsideSmram(Start - 2, 2));
  EXPECT_TRUE(BufferOutsideSmram(End, 40));
  // A buffer that covers a whole range from outside is not outside it.
  EXPECT_FALSE(BufferOutsideSmram(Start - 0x10, kFarRange.PhysicalSize + 0x20));
  EXPECT_FALSE(BufferInSmram(Start, 0));
  EXPECT_FALSE(BufferOutsideSmram(~UINT64(0) - 1, 40));
  EXPECT_FALSE(BufferOutsideSmram(0x1000, 0));
}

TEST_F(SmramServices, ReleasePoolFreesIntoThePoolThatOwnsTheAddress) {
  LoadSmramRanges();
  auto *InSmram = reinterpret_cast<VOID *>(kFarRange.CpuStart + 0x40);
  auto *PastSmram = reinterpret_cast<VOID *>(End(kFarRange));
  ReleasePool(InSmram);
  ReleasePool(PastSmram);

  EXPECT_EQ(Firmware.SmramFrees, std::vector<VOID *>{InSmram});
  EXPECT_EQ(Firmware.BootFrees, std::vector<VOID *>{PastSmram});
}

TEST_F(SmramServices, WithoutTheRangeTableNothingIsSmram) {
  Firmware.FailSmramAllocation = true;
  LoadSmramRanges();
  EXPECT_EQ(Firmware.CapabilityCalls.size(), 1u);
  EXPECT_FALSE(AddressInSmram(kFarRange.CpuStart));

  auto *Buffer = reinterpret_cast<VOID *>(kFarRange.CpuStart);
  ReleasePool(Buffer);
  EXPECT_EQ(Firmware.BootFrees, std::vector<VOID *>{Buffer});
  EXPECT_TRUE(Firmware.SmramFrees.empty());
}

// Without a whole map the module keeps to "no address is SMRAM" for its own frees, but a buffer
// named by data from outside SMRAM can be judged neither in nor outside: both tests say no.
TEST(SmramMap, WithoutAWholeMapNothingIsSmramAndNoBufferCanBeJudged) {
  for (bool AllocationFails : {true, false}) {
    SCOPED_TRACE(AllocationFails ? "no room for the copy" : "the query that fills it fails");
    FakeFirmware Fresh;
    Fresh.SmramMap = {Fresh.SmramArenaRange(), kFarRange};
    Fresh.FailSmramAllocation = AllocationFails;
    Fresh.FailCapabilitiesFrom = 1;
    gSmst = nullptr;
    LocateSmst();
    LoadSmramRanges();
    EXPECT_EQ(Fresh.CapabilityCalls.size(), AllocationFails ? 1u : 2u);
    // A copy the query did not fill goes straight back to the SMRAM pool.
    EXPECT_EQ(Fresh.SmramFrees.size(), AllocationFails ? 0u : 1u);

    EXPECT_FALSE(AddressInSmram(kFarRange.CpuStart));
    EXPECT_FALSE(BufferInSmram(kFarRange.CpuStart, 16));
    EXPECT_FALSE(BufferOutsideSmram(End(kFarRange) + 0x1000, 16));
    auto *Buffer = reinterpret_cast<VOID *>(kFarRange.CpuStart);
    ReleasePool(Buffer);
    EXPECT_EQ(Fresh.BootFrees, std::vector<VOID *>{Buffer});
    ReleaseSmramRanges();
  }
}

// PI platforms often describe one SMRAM region as several descriptors; a buffer across a join
// (or across an overlap) lies in SMRAM as much as one inside a single descriptor.
TEST_F(SmramServices, TouchingAndOverlappingRangesCountAsOne) {
  constexpr EFI_PHYSICAL_ADDRESS Join = 0x7F200000;
  // Out of order, and the first overlaps the last: together [Join - 0x1000, Join + 0x3000).
  Firmware.SmramMap = {
      {0, Join + 0x800, 0x2800, 0}, {0, Join - 0x1000, 0x1000, 0}, {0, Join, 0x1000, 0}};
  LoadSmramRanges();
  EXPECT_TRUE(BufferInSmram(Join - 0x10, 0x20));
  EXPECT_TRUE(BufferInSmram(Join - 0x1000, 0x4000));
  EXPECT_FALSE(BufferOutsideSmram(Join - 0x10, 0x20));
  // One byte beyond the last range, or before the first, and the buffer is neither.
  EXPECT_FALSE(BufferInSmram(Join - 0x1000, 0x4001));
  EXPECT_FALSE(BufferInSmram(Join - 0x1001, 0x10));
  EXPECT_TRUE(BufferOutsideSmram(Join + 0x3000, 0x10));
}

TEST_F(SmramServices, MissingSmmProtocolsAreSkipped) {
  Firmware.RemoveProtocol(EFI_SMM_BASE2_PROTOCOL_GUID);
  Firmware.RemoveProtocol(EFI_SMM_ACCESS2_PROTOCOL_GUID);
  gSmst = nullptr;
  LocateSmst();
  LoadSmramRanges();

  EXPECT_EQ(gSmst, nullptr);
  EXPECT_TRUE(Firmware.CapabilityCalls.empty());
  EXPECT_EQ(AllocateSmramPool(16), nullptr);
  EXPECT_TRUE(Firmware.SmramAllocations.empty());
}

TEST(CachedLookups, HobListIsSearchedUntilFoundThenCached) {
  FakeFirmware Firmware;
  int HobList = 0;
  int Other = 0;
  EFI_CONFIGURATION_TABLE Tables[2] = {{PCD_PROTOCOL_GUID, &Other}, {EFI_HOB_LIST_GUID, &HobList}};
  Firmware.SystemTable.ConfigurationTable = Tables;

  Firmware.SystemTable.NumberOfTableEntries = 1;
  EXPECT_EQ(FindHobList(), nullptr);
  Firmware.SystemTable.NumberOfTableEntries = 2;
  EXPECT_EQ(FindHobList(), &HobList);
  Tables[1].VendorTable = &Other;
  EXPECT_EQ(FindHobList(), &HobList);
}

TEST(CachedLookups, PcdProtocolIsLocatedUntilFoundThenCached) {
  FakeFirmware Firmware;
  PCD_PROTOCOL Pcd{};

  EXPECT_EQ(LocatePcdService(), nullptr);
  EXPECT_EQ(LocatePcdService(), nullptr);
  EXPECT_EQ(Firmware.LookupsOf(PCD_PROTOCOL_GUID), 2u);
  Firmware.AddProtocol(PCD_PROTOCOL_GUID, &Pcd);
  EXPECT_EQ(LocatePcdService(), &Pcd);
  Firmware.RemoveProtocol(PCD_PROTOCOL_GUID);
  EXPECT_EQ(LocatePcdService(), &Pcd);
  EXPECT_EQ(Firmware.LookupsOf(PCD_PROTOCOL_GUID), 3u);
}

} // namespace
