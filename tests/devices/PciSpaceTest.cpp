// PCI configuration space as software sees it through ECAM and through the 0xCF8/0xCFC ports.
#include "DeviceRig.h"

#include <set>

namespace boardsim::test {
namespace {

constexpr Bdf kBridge{0, 1, 0};
constexpr Bdf kFn0{1, 0, 0};
constexpr Bdf kFn1{1, 0, 1};
constexpr Bdf kCapable{2, 3, 0};
constexpr Bdf kAbsent{5, 0, 0};

Board TopologyBoard() {
  Board board;
  PciFunction bridge = Function(kBridge, PciKind::Bridge, 0x1022, 0x1483);
  bridge.secondary = 1;
  bridge.subordinate = 4;
  board.pci.push_back(bridge);
  board.pci.push_back(Function(kFn0, PciKind::Device, 0x1AF4, 0x1041));
  board.pci.push_back(Function(kFn1, PciKind::Device, 0x1AF4, 0x1042));
  PciFunction capable = Function(kCapable);
  capable.capabilities = {0x01, 0x10, 0x05};
  capable.bar0 = 0xC2000000; // the first window an assignment would otherwise take
  board.pci.push_back(capable);
  return board;
}

TEST(PciSpace, EcamAndPortsReachTheSameSpace) {
  Rig rig(TopologyBoard());
  rig.m().MmioWrite(Ecam(kFn0, 0x40), 32, 0xA1B2C3D4);
  EXPECT_EQ(rig.PortConfigRead(kFn0, 0x40, 32), 0xA1B2C3D4u);
  EXPECT_EQ(rig.PortConfigRead(kFn0, 0x42, 16), 0xA1B2u);
  EXPECT_EQ(rig.PortConfigRead(kFn0, 0x43, 8), 0xA1u);

  rig.PortConfigWrite(kFn1, 0x48, 32, 0x01020304);
  rig.PortConfigWrite(kFn1, 0x49, 8, 0xEE);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0x48), 32), 0x0102EE04u);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0x48), 64), 0x0102EE04u) << "the next dword is empty";
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0), 32), rig.PortConfigRead(kFn1, 0, 32));

  // ECAM accesses are configuration cycles; port accesses are just port I/O.
  const auto cfg = rig.Events("pci_cfg");
  ASSERT_FALSE(cfg.empty());
  EXPECT_EQ(cfg.front()["dir"], "write");
  EXPECT_EQ(cfg.front()["bdf"], "01:00.0");
  EXPECT_EQ(cfg.front()["offset"], 0x40);
  EXPECT_EQ(cfg.front()["width"], 32);
  EXPECT_EQ(cfg.front()["value"], 0xA1B2C3D4u);
  EXPECT_EQ(cfg.size(), 4u);
  std::set<uint64_t> ports;
  for (const Json &io : rig.Events("io"))
    ports.insert(io["port"].get<uint64_t>());
  EXPECT_EQ(ports, (std::set<uint64_t>{0xCF8, 0xCFC, 0xCFD, 0xCFE, 0xCFF}));
}

TEST(PciSpace, FunctionsNotDescribedReadAllOnesAndDropWrites) {
  Rig rig(TopologyBoard());
  EXPECT_EQ(rig.m().MmioRead(Ecam(kAbsent, 0), 8), 0xFFu);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kAbsent, 0), 16), 0xFFFFu);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kAbsent, 0), 32), 0xFFFFFFFFu);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kAbsent, 0x100), 64), ~uint64_t{0});
  rig.m().MmioWrite(Ecam(kAbsent, 0x04), 16, 0x0006);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kAbsent, 0x04), 16), 0xFFFFu);
  EXPECT_EQ(rig.PortConfigRead(kAbsent, 0x04, 16), 0xFFFFu);
  EXPECT_FALSE(rig.Final()["pci_command"].contains("05:00.0"));

  // With the enable bit clear the data port reaches no function at all.
  rig.m().IoWrite(0xCF8, 32, Rig::PortConfigAddress(kFn0, 0) & 0x7FFFFFFF);
  EXPECT_EQ(rig.m().IoRead(0xCFC, 32), 0xFFFFFFFFu);
  rig.m().IoWrite(0xCFC, 32, 0);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0), 32), 0x10411AF4u);
}

TEST(PciSpace, HeaderCarriesIdsClassTypeAndBusNumbers) {
  Rig rig(TopologyBoard());
  auto cfg8 = [&](Bdf bdf, uint32_t offset) { return rig.m().MmioRead(Ecam(bdf, offset), 8); };
  EXPECT_EQ(rig.m().MmioRead(Ecam(kBridge, 0), 32), 0x14831022u);
  EXPECT_EQ(cfg8(kBridge, 0x0B), 0x06u);
  EXPECT_EQ(cfg8(kBridge, 0x0E), 0x01u);
  EXPECT_EQ(cfg8(kBridge, 0x19), 1u);
  EXPECT_EQ(cfg8(kBridge, 0x1A), 4u);

  // Two functions of one device: both announce the multi-function device.
  EXPECT_EQ(cfg8(kFn0, 0x0E), 0x80u);
  EXPECT_EQ(cfg8(kFn1, 0x0E), 0x80u);
  EXPECT_EQ(cfg8(kCapable, 0x0E), 0x00u);
  EXPECT_EQ(cfg8(kCapable, 0x0B), 0xFFu);
}

// Walks the list as the PCI specification defines it, collecting (offset, ID) pairs.
std::vector<std::pair<uint32_t, uint32_t>> CapabilityList(Rig &rig, Bdf bdf) {
  std::vector<std::pair<uint32_t, uint32_t>> list;
  uint32_t at = static_cast<uint32_t>(rig.PortConfigRead(bdf, 0x34, 8));
  while (at != 0 && list.size() < 64) {
    const auto header = static_cast<uint32_t>(rig.PortConfigRead(bdf, at, 16));
    list.emplace_back(at, header & 0xFF);
    at = header >> 8;
  }
  return list;
}

TEST(PciSpace, CapabilityListChainsTheBoardIdsBehindTheStatusBit) {
  Board board = TopologyBoard();
  PciFunction mellanox = Nic({3, 0, 0}, NicModel::Mellanox, 0x15B3, 0x1017);
  mellanox.capabilities = {0x10, 0x11};
  board.pci.push_back(mellanox);
  Rig rig(board);

  const auto capable = CapabilityList(rig, kCapable);
  ASSERT_EQ(capable.size(), 3u);
  EXPECT_EQ(capable[0].second, 0x01u);
  EXPECT_EQ(capable[1].second, 0x10u);
  EXPECT_EQ(capable[2].second, 0x05u);
  std::set<uint32_t> offsets;
  for (const auto &[at, id] : capable) {
    EXPECT_GE(at, 0x40u);
    EXPECT_EQ(at % 4, 0u);
    offsets.insert(at);
  }
  EXPECT_EQ(offsets.size(), capable.size());
  EXPECT_TRUE(rig.m().MmioRead(Ecam(kCapable, 0x06), 16) & 0x10);

  const auto withVpd = CapabilityList(rig, {3, 0, 0});
  ASSERT_EQ(withVpd.size(), 3u);
  EXPECT_EQ(withVpd.back().second, 0x03u) << "the VPD capability comes after the board's IDs";

  EXPECT_TRUE(CapabilityList(rig, kFn0).empty());
  EXPECT_FALSE(rig.m().MmioRead(Ecam(kFn0, 0x06), 16) & 0x10);
}

TEST(PciSpace, Bar0WindowsAreAssignedApartInTheHoleAroundFixedOnes) {
  Board board = TopologyBoard();
  for (uint8_t bus = 0x10; bus < 0x14; ++bus)
    board.pci.push_back(Function({bus, 0, 0}));
  Rig rig(board);
  auto bar0 = [&](Bdf bdf) { return rig.m().MmioRead(Ecam(bdf, 0x10), 32); };

  EXPECT_EQ(bar0(kBridge), 0u) << "bridges get no window of their own";
  EXPECT_EQ(bar0(kCapable), 0xC2000000u);
  std::set<uint64_t> bases = {0xC2000000};
  for (Bdf bdf : {kFn0, kFn1, Bdf{0x10, 0, 0}, Bdf{0x11, 0, 0}, Bdf{0x12, 0, 0}, Bdf{0x13, 0, 0}}) {
    const uint64_t base = bar0(bdf);
    EXPECT_GE(base, 0xC0000000u);
    EXPECT_LE(base + (32u << 20), 0xF0000000u);
    EXPECT_EQ(base % (32u << 20), 0u);
    EXPECT_TRUE(bases.insert(base).second) << std::hex << base << " is used twice";
  }
}

TEST(PciSpace, OverridesComeLastAndCommandWritesAreReported) {
  Board board = TopologyBoard();
  board.pci[1].config = {{0x0B, 0x0C}, {0x0E, 0x00}, {0x2C, 0x34}};
  Rig rig(board);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0x0B), 8), 0x0Cu);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0x0E), 8), 0x00u);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0x2C), 8), 0x34u);

  EXPECT_EQ(rig.Final()["pci_command"], Json::object());
  rig.m().MmioWrite(Ecam(kFn0, 0x04), 16, 0x0146);
  rig.PortConfigWrite(kBridge, 0x04, 8, 0x07);
  rig.m().MmioWrite(Ecam(kFn1, 0x08), 32, 0); // not the command register
  const Json commands = rig.Final()["pci_command"];
  EXPECT_EQ(commands, (Json{{"00:01.0", 0x07}, {"01:00.0", 0x0146}}));
}

// The extended space (0x100-0xFFF) is held apart from the standard space: it reads zero until
// written, accesses across 0x100 join the two, and the space still ends at 0x1000.
TEST(PciSpace, ExtendedSpaceReadsZeroUntilWrittenAndJoinsTheStandardSpace) {
  Board board = TopologyBoard();
  board.pci[1].config = {{0xFF, 0xAB}, {0x100, 0xCD}};
  Rig rig(board);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0x100), 64), 0u);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0xFE), 32), 0x00CDAB00u) << "overrides on both sides";

  rig.m().MmioWrite(Ecam(kFn1, 0xFC), 64, 0x1122334455667788);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0xFC), 64), 0x1122334455667788u);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0x100), 32), 0x11223344u);
  EXPECT_EQ(rig.PortConfigRead(kFn1, 0xFC, 32), 0x55667788u);

  rig.m().MmioWrite(Ecam(kFn1, 0xFFE), 16, 0xBEEF);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn1, 0xFFC), 64), 0xFFFFFFFFBEEF0000u)
      << "bytes past the space read all ones";
  EXPECT_EQ(rig.m().MmioRead(Ecam(kCapable, 0x100), 32), 0u) << "each function has its own";
}

TEST(PciSpace, TracingOffRecordsNothing) {
  Rig rig(TopologyBoard(), /*trace=*/false);
  rig.m().MmioWrite(Ecam(kFn0, 0x40), 32, 1);
  rig.PortConfigRead(kFn0, 0x40, 32);
  EXPECT_EQ(rig.sim.trace().Count(), 0u);
  EXPECT_EQ(rig.m().MmioRead(Ecam(kFn0, 0x40), 32), 1u);
}

} // namespace
} // namespace boardsim::test
