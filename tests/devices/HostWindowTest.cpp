// The host register window in 00:00.0's configuration space: select, index and data registers
// over per-instance register files.
#include "DeviceRig.h"

namespace boardsim::test {
namespace {

constexpr uint64_t kSelect = 0xF00000C0;
constexpr uint64_t kIndex = 0xF00000C4;
constexpr uint64_t kData = 0xF00000C8;

uint32_t ReadRegister(Rig &rig, uint32_t instance, uint32_t index) {
  rig.m().MmioWrite(kSelect, 32, instance);
  rig.m().MmioWrite(kIndex, 32, index);
  return static_cast<uint32_t>(rig.m().MmioRead(kData, 32));
}

void WriteRegister(Rig &rig, uint32_t instance, uint32_t index, uint32_t value) {
  rig.m().MmioWrite(kSelect, 32, instance);
  rig.m().MmioWrite(kIndex, 32, index);
  rig.m().MmioWrite(kData, 32, value);
}

Board WindowBoard() {
  Board board;
  board.host.bus_group_size_minus_one = 3;
  board.host.registers = {{0, 2, 0x10, 0x11223344}, {0, 0, kBusGroupRegisterIndex, 0xFF0000AB}};
  return board;
}

TEST(HostWindow, SelectAndIndexNameOneRegisterOfOneInstance) {
  Rig rig(WindowBoard());
  EXPECT_EQ(ReadRegister(rig, 2, 0x10), 0x11223344u);
  EXPECT_EQ(ReadRegister(rig, 3, 0x10), 0u) << "each instance has its own registers";
  EXPECT_EQ(ReadRegister(rig, 2, 0x14), 0u);

  WriteRegister(rig, 1, 0x10, 0xCAFE0001);
  EXPECT_EQ(ReadRegister(rig, 1, 0x10), 0xCAFE0001u);
  EXPECT_EQ(ReadRegister(rig, 2, 0x10), 0x11223344u);
  EXPECT_EQ(rig.m().MmioRead(kSelect, 32), 2u) << "select and index read back";
  EXPECT_EQ(rig.m().MmioRead(kIndex, 32), 0x10u);
}

TEST(HostWindow, ByteAccessesReachSingleBytesOfTheSelectedRegister) {
  Rig rig(WindowBoard());
  rig.m().MmioWrite(kSelect, 32, 0);
  rig.m().MmioWrite(kIndex, 32, kBusGroupRegisterIndex);
  // The board's top byte wins over the register list's.
  EXPECT_EQ(rig.m().MmioRead(0xF00000CB, 8), 3u);
  EXPECT_EQ(rig.m().MmioRead(kData, 32), 0x030000ABu);

  rig.m().MmioWrite(0xF00000CA, 8, 0x5A);
  EXPECT_EQ(rig.m().MmioRead(kData, 32), 0x035A00ABu);
  EXPECT_EQ(rig.m().MmioRead(0xF00000C9, 16), 0x5A00u);
  // The ports reach the same window.
  EXPECT_EQ(rig.PortConfigRead({0, 0, 0}, 0xCB, 8), 3u);
}

TEST(HostWindow, ExistsWhether00_00_0IsDescribedOrNot) {
  { // one run at a time: board memory lies at fixed addresses
    Rig bare(WindowBoard());
    EXPECT_EQ(bare.m().MmioRead(Ecam({0, 0, 0}, 0), 32), 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegister(bare, 2, 0x10), 0x11223344u);
    EXPECT_EQ(bare.m().MmioRead(Ecam({0, 0, 0}, 0xCC), 32), 0xFFFFFFFFu) << "just past the window";
  }

  Board board = WindowBoard();
  PciFunction host = Function({0, 0, 0}, PciKind::Device, 0x1022, 0x1480);
  host.capabilities.assign(20, 0x09);
  board.pci.push_back(host);
  Rig described(board);
  EXPECT_EQ(described.m().MmioRead(Ecam({0, 0, 0}, 0), 32), 0x14801022u);
  EXPECT_EQ(ReadRegister(described, 2, 0x10), 0x11223344u);
  // However long the capability list, it stays clear of the window.
  uint32_t at = static_cast<uint32_t>(described.m().MmioRead(Ecam({0, 0, 0}, 0x34), 8));
  int count = 0;
  for (; at != 0 && count < 64; ++count) {
    EXPECT_TRUE(at + 8 <= 0xC0 || at >= 0xCC) << std::hex << at;
    at = static_cast<uint32_t>(described.m().MmioRead(Ecam({0, 0, 0}, at + 1), 8));
  }
  EXPECT_EQ(count, 20);
}

TEST(HostWindow, FinalListsEveryWrittenRegisterOnceWithItsLastValue) {
  Rig rig(WindowBoard());
  EXPECT_EQ(rig.Final()["host_registers"], Json::array());
  // A read-modify-write as a driver sets bits: select, index, read; select, index, write.
  for (uint32_t instance : {5u, 0u}) {
    const uint32_t value = ReadRegister(rig, instance, kBusGroupRegisterIndex);
    WriteRegister(rig, instance, kBusGroupRegisterIndex, value | 0x6);
  }
  WriteRegister(rig, 5, kBusGroupRegisterIndex, 0x100);
  ReadRegister(rig, 2, 0x10);

  const Json expected = Json::array({
      {{"instance", 0}, {"index", kBusGroupRegisterIndex}, {"value", 0x030000AF}},
      {{"instance", 5}, {"index", kBusGroupRegisterIndex}, {"value", 0x100}},
  });
  EXPECT_EQ(rig.Final()["host_registers"], expected);
}

} // namespace
} // namespace boardsim::test
