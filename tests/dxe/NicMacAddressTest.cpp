#include "DriverTest.h"
#include "NicMacAddress.h"
#include <array>

namespace {

using Mac = std::array<uint8_t, 6>;

uint8_t gLayout;
int gLayoutReads;
UINT8 CountingLayout() {
  gLayoutReads++;
  return gLayout;
}

TEST(NicFunctionNumberTest, LayoutPcdPicksFunctionsOfControllers2To4) {
  // Rows: layout 0..5; columns: controllers 1..4.
  const uint8_t Expected[6][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 1},
                                  {0, 1, 0, 1}, {0, 1, 2, 3}, {0, 1, 2, 3}};
  for (uint8_t Layout = 0; Layout < 6; Layout++) {
    gLayout = Layout;
    for (uint8_t Index = 1; Index <= 4; Index++) {
      gLayoutReads = 0;
      EXPECT_EQ(NicFunctionNumber(Index, CountingLayout), Expected[Layout][Index - 1])
          << "layout " << int(Layout) << " controller " << int(Index);
      // One read per threshold test: controller 4 tests 4, then 2.
      int Reads = Index == 1 ? 0 : (Index == 4 && Layout < 4) ? 2 : 1;
      EXPECT_EQ(gLayoutReads, Reads) << "layout " << int(Layout) << " controller " << int(Index);
    }
  }
}

TEST(ChooseNicMacRuleTest, VendorRulesComeBeforeDeviceRules) {
  EXPECT_EQ(ChooseNicMacRule(0x101715B3), NicMacFromVpd);
  EXPECT_EQ(ChooseNicMacRule(0x157215B3), NicMacFromVpd);
  EXPECT_EQ(ChooseNicMacRule(0x16D814E4), NicMacFromSerialNumber);
  EXPECT_EQ(ChooseNicMacRule(0x15B314E4), NicMacFromSerialNumber);
  EXPECT_EQ(ChooseNicMacRule(0x15728086), NicMacFromIntel700);
  EXPECT_EQ(ChooseNicMacRule(0x15898086), NicMacFromIntel700);
  EXPECT_EQ(ChooseNicMacRule(0x158B8086), NicMacFromIntel700);
  EXPECT_EQ(ChooseNicMacRule(0x15738086), NicMacFromBar0);
  EXPECT_EQ(ChooseNicMacRule(0x15721234), NicMacFromBar0);
  EXPECT_EQ(ChooseNicMacRule(0x15218086), NicMacFromBar0);
}

class GetNicMacAddressesTest : public DriverTest {
protected:
  void SetUp() override {
    DriverTest::SetUp();
    Buffer1.fill(0xAA);
    Buffer2.fill(0xAA);
  }

  EFI_STATUS Collect() { return GetNicMacAddresses(Buffer1.data(), Buffer2.data()); }
  Mac Entry1() const { return EntryAt(Buffer1.data() + 4); }
  Mac Entry2(size_t K) const { return EntryAt(Buffer2.data() + 1 + 6 * (K - 1)); }
  static Mac EntryAt(const uint8_t *P) { return {P[0], P[1], P[2], P[3], P[4], P[5]}; }

  static void AddGeneric(uint16_t Bdf, uint32_t Bar0, const Mac &Address) {
    Model().AddFunction(Bdf, 0x15218086, 0x02);
    Model().SetConfig(Bdf, 0x10, Bar0, 4);
    Model().SetDeviceMemory((Bar0 & ~0xFu) + 0x5400, {Address.begin(), Address.end()});
  }
  static void AddBroadcom(uint16_t Bdf, const Mac &Address) {
    Model().AddFunction(Bdf, 0x16D814E4, 0x02);
    const uint8_t Eui64[8] = {Address[5], Address[4], Address[3], 0xFE,
                              0xFF,       Address[2], Address[1], Address[0]};
    for (int I = 0; I < 8; I++) {
      Model().SetConfig(Bdf, 0x140 + I, Eui64[I], 1);
    }
  }

  std::array<uint8_t, 32> Buffer1;
  std::array<uint8_t, 32> Buffer2;
};

TEST_F(GetNicMacAddressesTest, EachRuleFillsItsEntryAndEnablesDecoding) {
  Dxe().Pcd = {{2, 0x00E0}, {203, 0x00E8}, {204, 0x00F0}, {205, 0x00F8}, {251, 4}};
  Model().AddBridge(0x00E0, 1, 1);
  Model().AddBridge(0x00E8, 2, 3); // bus 3 empty
  Model().AddBridge(0x00F0, 4, 4);
  Model().AddBridge(0x00F8, 5, 5);
  // Controller 1: Intel 700 series, BAR0 flag bits set, two registers.
  Model().AddFunction(0x0100, 0x15728086, 0x02);
  Model().SetConfig(0x0100, 0x10, 0x8000000C, 4);
  Model().SetConfig(0x0100, 0x04, 0x0400, 2);
  Model().SetDeviceMemory(0x801E2120, {0x3C, 0xFD, 0xFE, 0x01});
  Model().SetDeviceMemory(0x801E2140, {0x02, 0x03});
  AddGeneric(0x0201, 0x90000004, {0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C}); // function 1
  AddBroadcom(0x0402, {0x00, 0x10, 0x18, 0x20, 0x30, 0xFF});            // function 2
  std::array<uint8_t, 256> Vpd{'V', 'A', 1, '2', 'V', '3', 12};
  std::copy_n("0002C9ABCDEF", 12, Vpd.begin() + 7);
  Model().AddFunction(0x0503, 0x101715B3, 0x02); // function 3
  Model().SetCapabilities(0x0503, {0x03}, Vpd);

  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[0], 0xAA); // consumer's bytes
  EXPECT_EQ(Buffer1[1], 0xAA);
  EXPECT_EQ(Buffer1[2], 0xAA);
  EXPECT_EQ(Buffer1[3], 1);
  EXPECT_EQ(Entry1(), (Mac{0x3C, 0xFD, 0xFE, 0x01, 0x02, 0x03}));
  EXPECT_EQ(Buffer1[10], 0xAA);
  EXPECT_EQ(Buffer2[0], 3);
  EXPECT_EQ(Entry2(1), (Mac{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C}));
  EXPECT_EQ(Entry2(2), (Mac{0x00, 0x10, 0x18, 0x20, 0x30, 0x01})); // 0xFF + function 2
  EXPECT_EQ(Entry2(3), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(Buffer2[19], 0xAA);

  EXPECT_EQ(Model().Config8(0x0100, 0x04), 0x06);
  EXPECT_EQ(Model().Config8(0x0100, 0x05), 0x04);
  for (uint16_t Nic : {0x0201, 0x0402, 0x0503}) {
    EXPECT_EQ(Model().Config8(Nic, 0x04), 0x06) << Nic;
  }
  EXPECT_EQ(Dxe().Stalls, std::vector<UINTN>{1000});
  const std::vector<std::pair<UINTN, int>> Reads = {{2, 32},  {203, 32}, {251, 8}, {204, 32},
                                                    {251, 8}, {205, 32}, {251, 8}};
  EXPECT_EQ(Dxe().PcdReads, Reads);
}

TEST_F(GetNicMacAddressesTest, NoBridgesGiveEmptyListsAndStillWait) {
  Dxe().Pcd = {{2, 0}, {203, 0}, {204, 0}, {205, 0}};
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[3], 0);
  EXPECT_EQ(Buffer2[0], 0);
  EXPECT_EQ(Buffer1[4], 0xAA);
  EXPECT_EQ(Buffer2[1], 0xAA);
  EXPECT_TRUE(Model().Log.empty());
  EXPECT_EQ(Dxe().Stalls, std::vector<UINTN>{1000});
}

TEST_F(GetNicMacAddressesTest, NullBufferIsRefusedBeforeAnyAccess) {
  EXPECT_EQ(GetNicMacAddresses(nullptr, Buffer2.data()), EFI_INVALID_PARAMETER);
  EXPECT_EQ(GetNicMacAddresses(Buffer1.data(), nullptr), EFI_INVALID_PARAMETER);
  EXPECT_TRUE(Dxe().Calls.empty());
  EXPECT_TRUE(Model().Log.empty());
  EXPECT_EQ(Buffer1[3], 0xAA);
  EXPECT_EQ(Buffer2[0], 0xAA);
}

TEST_F(GetNicMacAddressesTest, AbsentControllerAddsNothingAndTheNextMovesUp) {
  Dxe().Pcd = {{203, 0x00E8}, {204, 0x00F0}};
  Model().AddBridge(0x00E8, 2, 2); // nothing on bus 2
  Model().AddBridge(0x00F0, 4, 4);
  AddGeneric(0x0400, 0x90000000, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer2[0], 1);
  EXPECT_EQ(Entry2(1), (Mac{1, 2, 3, 4, 5, 6}));
}

TEST_F(GetNicMacAddressesTest, UnsetLocationIsJudgedAfterTranslation) {
  Dxe().Pcd = {{2, 0x8888}, {203, 0x00010000}};
  Model().SetBusGroupSizeMinusOne(15); // identity: 0x8888 stays 0x8888 and is skipped
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[3], 0);
  EXPECT_EQ(Buffer2[0], 0);

  Model().SetBusGroupSizeMinusOne(3); // 0x8888 becomes 0x2888: bus 8 * 4 + 8
  Model().AddBridge(0x2888, 0x30, 0x30);
  AddGeneric(0x3000, 0x90000000, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[3], 1);
  EXPECT_EQ(Entry1(), (Mac{1, 2, 3, 4, 5, 6}));
}

TEST_F(GetNicMacAddressesTest, OneBridgeServesControllers2To4AsFunctions1To3) {
  Dxe().Pcd = {{203, 0x00E8}, {204, 0x00E8}, {205, 0x00E8}, {251, 4}};
  Model().AddBridge(0x00E8, 2, 2);
  for (uint16_t Function = 0; Function < 4; Function++) {
    AddBroadcom(0x0200 | Function, {0x00, 0x10, 0x18, 0x20, 0x30, 0x40});
  }
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer2[0], 3);
  for (size_t K = 1; K <= 3; K++) {
    EXPECT_EQ(Entry2(K), (Mac{0x00, 0x10, 0x18, 0x20, 0x30, uint8_t(0x40 + K)}));
  }
  EXPECT_EQ(Model().Config8(0x0200, 0x04), 0); // function 0 is not a controller here
}

TEST_F(GetNicMacAddressesTest, MellanoxPortCountOneLeavesLaterControllersZeroButCounted) {
  Dxe().Pcd = {{2, 0x00E0}, {203, 0x00E8}};
  std::array<uint8_t, 256> Vpd{'V', 'A', 1, '1', 'V', '2', 12};
  std::copy_n("0002C9ABCDE0", 12, Vpd.begin() + 7);
  for (uint16_t Bridge : {0x00E0, 0x00E8}) {
    uint8_t Bus = Bridge == 0x00E0 ? 1 : 2;
    Model().AddBridge(Bridge, Bus, Bus);
    Model().AddFunction(uint16_t(Bus << 8), 0x101715B3, 0x02);
    Model().SetCapabilities(uint16_t(Bus << 8), {0x03}, Vpd);
  }
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Entry1(), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xE0}));
  EXPECT_EQ(Buffer2[0], 1);
  EXPECT_EQ(Entry2(1), Mac{});
}

TEST_F(GetNicMacAddressesTest, MissingPcdProtocolReadsZeroUntilItAppears) {
  Dxe().Pcd = {{2, 0x00E0}};
  Model().AddBridge(0x00E0, 1, 1);
  AddGeneric(0x0100, 0x90000000, {1, 2, 3, 4, 5, 6});
  Dxe().PcdInstalled = false;
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[3], 0);
  EXPECT_EQ(Dxe().Count("LocateProtocol"), 4u); // every token read looked again
  EXPECT_TRUE(Dxe().PcdReads.empty());

  Dxe().PcdInstalled = true;
  EXPECT_EQ(Collect(), EFI_SUCCESS);
  EXPECT_EQ(Buffer1[3], 1);
  EXPECT_EQ(Dxe().Count("LocateProtocol"), 5u);
  EXPECT_EQ(Collect(), EFI_SUCCESS); // cached from now on
  EXPECT_EQ(Dxe().Count("LocateProtocol"), 5u);
}

} // namespace
