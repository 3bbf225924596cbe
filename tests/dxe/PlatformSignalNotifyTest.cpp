#include "DriverTest.h"
#include "PlatformSignalNotify.h"

namespace {

class PlatformSignalNotifyTest : public DriverTest {
protected:
  void SetUp() override {
    DriverTest::SetUp();
    Dxe().Pcd[2] = 0x00E0;
  }

  std::vector<UINTN> Signal() {
    Dxe().MarkedItems.clear();
    PlatformSignalNotify(nullptr, nullptr);
    std::vector<UINTN> Codes;
    for (const auto &[Name, Code] : Dxe().MarkedItems) {
      EXPECT_EQ(Name, "Setup");
      Codes.push_back(Code);
    }
    return Codes;
  }
};

using Codes = std::vector<UINTN>;

TEST_F(PlatformSignalNotifyTest, FirstNetworkControllerPicksTheCodePair) {
  Model().AddBridge(0x00E0, 1, 1);
  const std::pair<uint32_t, Codes> Cases[] = {
      {0x15218086, {0x706, 0x707}}, // I350
      {0x15288086, {0x705, 0x707}}, // X540
      {0x10FB8086, {0x705, 0x707}}, // 82599
      {0x15728086, {0x705, 0x706}}, {0x101715B3, {0x705, 0x706}},
  };
  for (const auto &[Id, Expected] : Cases) {
    Model().AddFunction(0x0100, Id, 0x02);
    EXPECT_EQ(Signal(), Expected) << std::hex << Id;
  }
}

TEST_F(PlatformSignalNotifyTest, OnlyTheFirstNetworkClassFunctionZeroInBusOrderCounts) {
  Model().AddBridge(0x00E0, 2, 6);
  Model().AddFunction(0x0200, 0x15218086, 0x01); // storage class: skipped
  Model().AddFunction(0x0301, 0x15218086, 0x02); // function 1: not probed
  Model().AddFunction(0x0400, 0x15728086, 0x02); // first network controller
  Model().AddFunction(0x0500, 0x15218086, 0x02);
  EXPECT_EQ(Signal(), (Codes{0x705, 0x706}));

  Model().SetConfig(0x0400, 0x0B, 0x06, 1);
  EXPECT_EQ(Signal(), (Codes{0x706, 0x707}));
}

TEST_F(PlatformSignalNotifyTest, AbsentBridgeOrEmptyRangeFindsNothing) {
  EXPECT_EQ(Signal(), (Codes{0x705, 0x706})); // bus numbers read 0xFF: no probe at all
  for (const HwAccess &Access : Model().Log) {
    EXPECT_TRUE(Access.Address == Ecam(0x00E0, 0x19) || Access.Address == Ecam(0x00E0, 0x1A));
  }

  Model().AddBridge(0x00E0, 3, 2); // secondary above subordinate
  Model().AddFunction(0x0300, 0x15218086, 0x02);
  EXPECT_EQ(Signal(), (Codes{0x705, 0x706}));
}

TEST_F(PlatformSignalNotifyTest, ScanStopsAtBus255AndAMatchThereCountsAsNone) {
  Model().AddBridge(0x00E0, 0xFE, 0xFF);
  Model().AddFunction(0xFF00, 0x15218086, 0x02);
  EXPECT_EQ(Signal(), (Codes{0x705, 0x706}));
  for (const HwAccess &Access : Model().Log) {
    EXPECT_NE(Access.Address, Ecam(0x0000, 0x0B)) << "wrapped to bus 0";
  }

  Model().AddFunction(0xFE00, 0x15218086, 0x02);
  EXPECT_EQ(Signal(), (Codes{0x706, 0x707}));
}

TEST_F(PlatformSignalNotifyTest, LocationIsUsedEvenWhenZero) {
  Dxe().Pcd[2] = 0;
  Model().AddBridge(0x0000, 1, 1);
  Model().AddFunction(0x0100, 0x15288086, 0x02);
  EXPECT_EQ(Signal(), (Codes{0x705, 0x707}));
}

TEST_F(PlatformSignalNotifyTest, WithoutTheSetupItemServiceNothingHappens) {
  Dxe().SetupItemInstalled = false;
  Model().AddBridge(0x00E0, 1, 1);
  EXPECT_TRUE(Signal().empty());
  EXPECT_TRUE(Dxe().PcdReads.empty());
  EXPECT_TRUE(Model().Log.empty());

  Dxe().SetupItemInstalled = true; // a later signal tries again
  EXPECT_EQ(Signal(), (Codes{0x705, 0x706}));
}

} // namespace
