#include "DriverTest.h"
#include "NicMacAddress.h"
#include "PlatformSignalNotify.h"
#include <Guids.h>
#include <array>
#include <cstring>

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint(EFI_HANDLE ImageHandle,
                                               EFI_SYSTEM_TABLE *SystemTable);

namespace {

class EntryPointTest : public DriverTest {
protected:
  // Through the entry glue, as the dispatcher starts the image.
  EFI_STATUS RunEntry() { return _ModuleEntryPoint(reinterpret_cast<EFI_HANDLE>(0x77), gST); }

  // (instance, index, value) of every host-window data write, in order.
  std::vector<std::array<uint64_t, 3>> HostDataWrites() const {
    std::vector<std::array<uint64_t, 3>> Writes;
    uint64_t Select = 0, Index = 0;
    for (const HwAccess &Access : Model().Log) {
      if (!Access.Write) {
        continue;
      }
      if (Access.Address == Ecam(0, 0xC0)) {
        Select = Access.Value;
      } else if (Access.Address == Ecam(0, 0xC4)) {
        Index = Access.Value;
      } else if (Access.Address == Ecam(0, 0xC8)) {
        Writes.push_back({Select, Index, Access.Value});
      }
    }
    return Writes;
  }
};

TEST_F(EntryPointTest, InstallsTheInterfaceAndArmsBothEvents) {
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(Dxe().HandleIn, nullptr); // a new handle
  EXPECT_TRUE(SameGuid(Dxe().InstalledGuid, BOARD_INFO_PROTOCOL_GUID));
  EXPECT_EQ(Dxe().InstalledType, EFI_NATIVE_INTERFACE);
  EXPECT_EQ(Dxe().InstalledInterface, &mBoardInfoProtocol);

  const std::vector<std::string> Order = {
      "InstallProtocolInterface", "CreateEventEx", "CreateEvent",
      "RegisterProtocolNotify",   "AllocatePool",  "GetVariable"};
  EXPECT_EQ(Dxe().Calls, Order);
  ASSERT_EQ(Dxe().Events.size(), 2u);
  const EventRecord &ReadyToBoot = Dxe().Events[0];
  EXPECT_EQ(ReadyToBoot.Type, 0x200u);
  EXPECT_EQ(ReadyToBoot.Tpl, 8u);
  EXPECT_EQ(ReadyToBoot.Notify, CloseOwnEvent);
  EXPECT_EQ(ReadyToBoot.Context, nullptr);
  EXPECT_TRUE(SameGuid(ReadyToBoot.Group, EFI_EVENT_GROUP_READY_TO_BOOT));
  const EventRecord &Arrival = Dxe().Events[1];
  EXPECT_EQ(Arrival.Type, 0x200u);
  EXPECT_EQ(Arrival.Tpl, 8u);
  EXPECT_EQ(Arrival.Notify, PlatformSignalNotify);
  EXPECT_EQ(Arrival.Context, nullptr);
  EXPECT_TRUE(SameGuid(Dxe().NotifyGuid, PLATFORM_SIGNAL_PROTOCOL_GUID));
  EXPECT_EQ(Dxe().NotifyEvent, reinterpret_cast<EFI_EVENT>(2));
}

TEST_F(EntryPointTest, KeepsACopyOfTheSetupVariable) {
  Dxe().Setup.resize(589);
  for (size_t I = 0; I < Dxe().Setup.size(); I++) {
    Dxe().Setup[I] = uint8_t(I * 7);
  }
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(Dxe().PoolType, EfiBootServicesData);
  EXPECT_EQ(Dxe().Pool.size(), 589u);
  EXPECT_EQ(Dxe().GetVariableSizeIn, 589u);
  EXPECT_FALSE(Dxe().AttributesRequested);
  ASSERT_EQ(mSetupCopy, Dxe().Pool.data());
  EXPECT_TRUE(std::equal(Dxe().Setup.begin(), Dxe().Setup.end(), mSetupCopy));

  ResetDxe();
  Dxe().Setup.assign(100, 1); // a smaller variable is read as well
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(mSetupCopy, Dxe().Pool.data());
}

TEST_F(EntryPointTest, SetupFailuresLeaveNoCopyButTheDriverStays) {
  Dxe().SetupPresent = false;
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(mSetupCopy, nullptr);
  EXPECT_EQ(HostDataWrites().size(), 14u);

  ResetDxe();
  ResetModel();
  Dxe().Setup.assign(590, 1);
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(mSetupCopy, nullptr);
  EXPECT_EQ(HostDataWrites().size(), 14u);

  ResetDxe();
  ResetModel();
  Dxe().Fail["AllocatePool"] = EFI_OUT_OF_RESOURCES;
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(mSetupCopy, nullptr);
  EXPECT_EQ(Dxe().Count("GetVariable"), 0u);
  EXPECT_EQ(HostDataWrites().size(), 14u);
}

TEST_F(EntryPointTest, FailedServicesDoNotStopTheEntry) {
  Dxe().Fail["InstallProtocolInterface"] = EFI_OUT_OF_RESOURCES;
  Dxe().Fail["CreateEventEx"] = EFI_OUT_OF_RESOURCES;
  Dxe().Fail["CreateEvent"] = EFI_OUT_OF_RESOURCES;
  EXPECT_EQ(RunEntry(), EFI_SUCCESS);
  EXPECT_EQ(Dxe().Count("RegisterProtocolNotify"), 0u); // no event to register
  EXPECT_NE(mSetupCopy, nullptr);
  EXPECT_EQ(HostDataWrites().size(), 14u);
}

TEST_F(EntryPointTest, HostEnableBitsFollowTheInstanceOrder) {
  Model().HostRegisters[{0, 0x02D01D00}] = 0x00000001;
  Model().HostRegisters[{7, 0x02D02508}] = 0x80000000;
  RunEntry();
  std::vector<std::array<uint64_t, 3>> Expected;
  for (uint64_t Instance : {1, 2, 3, 5, 6, 7}) {
    Expected.push_back({Instance, 0x02D01D00, 0x00010000});
    Expected.push_back({Instance, 0x02D02508, Instance == 7 ? 0x80008000 : 0x00008000});
  }
  Expected.push_back({0, 0x02D01D00, 0x00010001});
  Expected.push_back({4, 0x02D01D00, 0x00010000});
  EXPECT_EQ(HostDataWrites(), Expected);
  EXPECT_EQ(Model().HostRegisters.count({0, 0x02D02508}), 0u);
  EXPECT_EQ(Model().HostRegisters.count({4, 0x02D02508}), 0u);
}

TEST_F(EntryPointTest, ConstantMembersIgnoreTheirArgumentsAndReservedSlotsAreNull) {
  BOARD_INFO_PROTOCOL &P = mBoardInfoProtocol;
  uint8_t Buffer[16] = {};
  for (VOID *Arg : {static_cast<VOID *>(nullptr), static_cast<VOID *>(Buffer)}) {
    EXPECT_EQ(P.BooleanQuery0(&P, Arg, Arg), FALSE);
    EXPECT_EQ(P.BooleanQuery2(nullptr, Arg, Arg), FALSE);
    EXPECT_EQ(P.BooleanQuery5(&P, Arg, Arg), TRUE);
    EXPECT_EQ(P.ValueQuery1(&P, Arg, Arg), 0u);
    EXPECT_EQ(P.ValueQuery6(&P, Arg, Arg), 0u);
    EXPECT_EQ(P.ValueQuery7(nullptr, Arg, Arg), 0u);
  }
  EXPECT_EQ(P.BooleanQuery0, P.BooleanQuery2);
  EXPECT_EQ(P.ValueQuery1, P.ValueQuery6);
  EXPECT_EQ(P.ValueQuery1, P.ValueQuery7);
  EXPECT_EQ(P.GetNicMacAddresses, GetNicMacAddresses);
  for (VOID *Reserved : {P.Reserved3, P.Reserved8, P.Reserved9, P.Reserved10, P.Reserved11}) {
    EXPECT_EQ(Reserved, nullptr);
  }
  EXPECT_TRUE(Dxe().Calls.empty());
  EXPECT_TRUE(Model().Log.empty());
}

TEST_F(EntryPointTest, ReadyToBootEventClosesItself) {
  EFI_EVENT Event = reinterpret_cast<EFI_EVENT>(0x1234);
  CloseOwnEvent(Event, nullptr);
  EXPECT_EQ(Dxe().ClosedEvents, std::vector<EFI_EVENT>{Event});
}

} // namespace
