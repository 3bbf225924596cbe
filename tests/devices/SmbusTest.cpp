// The host SMBus: byte registers of the devices on it, and devices that are absent or fail.
#include "DeviceRig.h"
#include "Devices/DeviceStatus.h"

namespace boardsim::test {
namespace {

SmbusDevice Device(uint8_t address, std::map<uint8_t, uint8_t> regs = {}) {
  SmbusDevice device;
  device.address = address;
  device.regs = std::move(regs);
  return device;
}

Status Read(Rig &rig, uint8_t address, uint8_t command, uint8_t &data) {
  return rig.m().SmbusExecute(address, command, SmbusOp::ReadByte, data);
}
Status Write(Rig &rig, uint8_t address, uint8_t command, uint8_t data) {
  return rig.m().SmbusExecute(address, command, SmbusOp::WriteByte, data);
}

TEST(Smbus, DevicesKeepWhatIsWrittenAndReturnItWhenRead) {
  Board board;
  board.smbus = {Device(0x3A, {{0x00, 0xA5}}), Device(0x71)};
  Rig rig(board);
  uint8_t data = 0xEE;
  EXPECT_EQ(Read(rig, 0x3A, 0x00, data), 0u);
  EXPECT_EQ(data, 0xA5);
  EXPECT_EQ(Read(rig, 0x3A, 0x07, data), 0u);
  EXPECT_EQ(data, 0x00) << "a register never set reads 0";
  EXPECT_EQ(Write(rig, 0x71, 0x00, 0x10), 0u);
  EXPECT_EQ(Read(rig, 0x71, 0x00, data), 0u);
  EXPECT_EQ(data, 0x10);
  EXPECT_EQ(Write(rig, 0x3A, 0x00, 0x5A), 0u);

  EXPECT_EQ(rig.Final()["smbus"], (Json{{"58", {{"0", 0x5A}}}, {"113", {{"0", 0x10}}}}));
  const auto events = rig.Events("smbus");
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0]["op"], "read_byte");
  EXPECT_EQ(events[0]["address"], 0x3A);
  EXPECT_EQ(events[0]["command"], 0);
  EXPECT_EQ(events[0]["data"], 0xA5);
  EXPECT_EQ(events[0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(events[2]["op"], "write_byte");
  EXPECT_EQ(events[2]["data"], 0x10);
}

TEST(Smbus, MissingAndAbsentDevicesFailEveryTransaction) {
  Board board;
  SmbusDevice absent = Device(0x3E, {{0, 0x28}});
  absent.present = false;
  board.smbus = {absent};
  Rig rig(board);
  uint8_t data = 0x99;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Read(rig, 0x3E, 0, data), kDeviceError);
    EXPECT_EQ(Read(rig, 0x33, 7, data), kDeviceError) << "no device at 0x33";
    EXPECT_EQ(Write(rig, 0x3E, 0, 0x01), kDeviceError);
  }
  EXPECT_EQ(data, 0x99) << "a failed read returns nothing";
  EXPECT_EQ(rig.Final()["smbus"], (Json{{"62", {{"0", 0x28}}}})) << "a failed write stores nothing";
  EXPECT_EQ(rig.Events("smbus").back()["status"], "EFI_DEVICE_ERROR");
}

TEST(Smbus, FailingTransactionsAreCountedPerDevice) {
  Board board;
  SmbusDevice first = Device(0x3A, {{0, 1}});
  first.fail_first = 2;
  SmbusDevice chosen = Device(0x3B, {{0, 2}});
  chosen.fail_on = {2, 4};
  board.smbus = {first, chosen};
  uint8_t data = 0;
  { // one run at a time: board memory lies at fixed addresses
    Rig rig(board);

    std::vector<bool> firstOk, chosenOk;
    for (int i = 0; i < 5; ++i) {
      // Interleaved: the other device's transactions do not move a device's count.
      firstOk.push_back(Read(rig, 0x3A, 0, data) == 0);
      chosenOk.push_back(Read(rig, 0x3B, 0, data) == 0);
      Read(rig, 0x50, 0, data);
    }
    EXPECT_EQ(firstOk, (std::vector<bool>{false, false, true, true, true}));
    EXPECT_EQ(chosenOk, (std::vector<bool>{true, false, true, false, true}));
  }

  // Writes count as transactions too, and a failed one changes nothing.
  Rig again(board);
  EXPECT_EQ(Write(again, 0x3A, 0, 0x77), kDeviceError);
  EXPECT_EQ(Read(again, 0x3A, 0, data), kDeviceError);
  EXPECT_EQ(Read(again, 0x3A, 0, data), 0u);
  EXPECT_EQ(data, 1);
}

} // namespace
} // namespace boardsim::test
