#include "DriverTest.h"
#include "PciTopology.h"

namespace {

using PciTopologyTest = DriverTest;

TEST_F(PciTopologyTest, LocationsWithABusBelow0x10PassWithoutTouchingTheWindow) {
  Model().SetBusGroupSizeMinusOne(3);
  EXPECT_EQ(TranslatePcdBdf(0x0FFF), 0x0FFF);
  EXPECT_EQ(TranslatePcdBdf(0x0F45), 0x0F45);
  EXPECT_EQ(TranslatePcdBdf(0x0000), 0x0000);
  EXPECT_EQ(TranslatePcdBdf(0x00010F45), 0x0F45);
  EXPECT_EQ(TranslatePcdBdf(0xFFFF0A07), 0x0A07);
  EXPECT_TRUE(Model().Log.empty());
}

TEST_F(PciTopologyTest, GroupedBusNumbersScaleByTheWindowsGroupSize) {
  struct Case {
    uint8_t N;
    uint32_t Value;
    uint16_t Expected;
  };
  const Case Cases[] = {
      {3, 0x2100, 0x0900},     // group size 4: 2 * 4 + 1
      {3, 0xABCD2155, 0x0955}, // upper half dropped, device/function kept
      {3, 0x1000, 0x0400},     // the lowest grouped bus
      {15, 0x1234, 0x1234},    // group size 16 is the identity
      {15, 0xFFF8, 0xFFF8},    // up to the last bus
      {255, 0x2345, 0x0345},   // group size 0: the low nibble alone
      {31, 0x9112, 0x2112},    // (9 * 32 + 1) mod 256 = 33
  };
  for (const Case &C : Cases) {
    Model().SetBusGroupSizeMinusOne(C.N);
    EXPECT_EQ(TranslatePcdBdf(C.Value), C.Expected) << "n=" << int(C.N) << " value=" << C.Value;
    // Instance 0, the group register, then one byte load of its top byte; left selected.
    std::vector<HwAccess> Log = TakeLog();
    ASSERT_EQ(Log.size(), 3u);
    EXPECT_TRUE(Log[0].Write && Log[0].Address == Ecam(0, 0xC0) && Log[0].Value == 0);
    EXPECT_TRUE(Log[1].Write && Log[1].Address == Ecam(0, 0xC4) &&
                Log[1].Value == ConfigSpaceModel::kBusGroupIndex);
    EXPECT_TRUE(!Log[2].Write && Log[2].Address == Ecam(0, 0xCB) && Log[2].Width == 8);
  }
}

TEST_F(PciTopologyTest, HostWindowOrSelectsAgainBeforeTheDataWrite) {
  Model().HostRegisters[{5, 0x02D01D00}] = 0x80000001;
  HostWindowOr(5, 0x02D01D00, 0x00010000);
  EXPECT_EQ((Model().HostRegisters[{5, 0x02D01D00}]), 0x80010001u);

  std::vector<HwAccess> Log = TakeLog();
  const uint64_t Expected[][3] = {{1, Ecam(0, 0xC0), 5},          {1, Ecam(0, 0xC4), 0x02D01D00},
                                  {0, Ecam(0, 0xC8), 0},          {1, Ecam(0, 0xC0), 5},
                                  {1, Ecam(0, 0xC4), 0x02D01D00}, {1, Ecam(0, 0xC8), 0x80010001}};
  ASSERT_EQ(Log.size(), 6u);
  for (size_t I = 0; I < Log.size(); I++) {
    EXPECT_EQ(Log[I].Write, Expected[I][0] != 0) << I;
    EXPECT_EQ(Log[I].Address, Expected[I][1]) << I;
    EXPECT_EQ(Log[I].Width, 32u) << I;
    if (Log[I].Write) {
      EXPECT_EQ(Log[I].Value, Expected[I][2]) << I;
    }
  }
}

TEST_F(PciTopologyTest, LastPopulatedBusIsTheHighestAnsweringBusAboveTheSecondary) {
  Model().AddBridge(0x00E0, 3, 7);
  Model().AddFunction(0x0500, 0x10D38086, 0x02); // bus 5 answers, 6 and 7 do not
  EXPECT_EQ(FindLastPopulatedBus(0x00E0), 5);

  Model().AddBridge(0x00E8, 8, 10); // nothing above the secondary: the secondary, unprobed
  EXPECT_EQ(FindLastPopulatedBus(0x00E8), 8);

  Model().AddBridge(0x00F0, 9, 9);
  TakeLog();
  EXPECT_EQ(FindLastPopulatedBus(0x00F0), 9);
  std::vector<HwAccess> Log = TakeLog();
  ASSERT_EQ(Log.size(), 2u); // the two bus numbers, no probe
  EXPECT_EQ(Log[0].Address, Ecam(0x00F0, 0x19));
  EXPECT_EQ(Log[1].Address, Ecam(0x00F0, 0x1A));
}

TEST_F(PciTopologyTest, LastPopulatedBusProbesTheVendorIdLowByte) {
  Model().AddBridge(0x0008, 1, 2);
  Model().AddFunction(0x0200, 0x000000FF, 0x02); // vendor low byte 0xFF: reads as empty
  TakeLog();
  EXPECT_EQ(FindLastPopulatedBus(0x0008), 1);
  std::vector<HwAccess> Log = TakeLog();
  ASSERT_EQ(Log.size(), 3u);
  EXPECT_EQ(Log[2].Address, Ecam(0x0200, 0x00));
  EXPECT_EQ(Log[2].Width, 8u);
}

TEST_F(PciTopologyTest, VpdCapabilityIsFoundThroughThePortsWhereverItSits) {
  Model().AddFunction(0x0100, 0x101715B3, 0x02);
  Model().SetCapabilities(0x0100, {0x01, 0x05, 0x10, 0x03});
  EXPECT_EQ(FindVpdCapability(0x0100), 0x58);
  for (const HwAccess &Access : Model().Log) {
    EXPECT_EQ(Access.Kind, HwAccess::Io);
    EXPECT_EQ(Access.Width, 32u);
  }
  EXPECT_EQ(Model().Log[0].Value, 0x80010034u);

  Model().AddFunction(0x0200, 0x101715B3, 0x02);
  Model().SetCapabilities(0x0200, {0x03}); // first and last
  EXPECT_EQ(FindVpdCapability(0x0200), 0x40);
}

TEST_F(PciTopologyTest, NoVpdCapabilityGivesZero) {
  Model().AddFunction(0x0100, 0x101715B3, 0x02); // capabilities pointer 0
  EXPECT_EQ(FindVpdCapability(0x0100), 0);
  EXPECT_EQ(Model().Log.size(), 2u);

  Model().SetCapabilities(0x0100, {0x01, 0x05, 0x10});
  EXPECT_EQ(FindVpdCapability(0x0100), 0);
  EXPECT_EQ(FindVpdCapability(0x0300), 0); // absent function: pointer 0xFF, ID 0xFF, next 0xFF
}

TEST_F(PciTopologyTest, LoopingCapabilityListEndsAfterABoundedWalk) {
  Model().AddFunction(0x0100, 0x101715B3, 0x02);
  Model().SetCapabilities(0x0100, {0x01, 0x05});
  Model().SetConfig(0x0100, 0x49, 0x40, 1); // second entry points back at the first
  TakeLog();
  EXPECT_EQ(FindVpdCapability(0x0100), 0);
  // The pointer read and 48 capability headers, each an address write and a data read.
  EXPECT_EQ(TakeLog().size(), 2u * (1 + 48));
}

} // namespace
