// Each NIC model keeps its MAC address where a driver reads it: BAR0 registers for Intel
// 700-series and generic NICs, the device serial number for Broadcom, VPD for Mellanox.
#include "DeviceRig.h"

#include <array>
#include <string>

namespace boardsim::test {
namespace {

using Mac = std::array<uint8_t, 6>;
constexpr Mac kMac = {0x00, 0x1B, 0x21, 0xA4, 0x5C, 0x9E};
constexpr Bdf kNic{4, 0, 0};

Rig RigWith(PciFunction nic) {
  Board board;
  board.pci.push_back(std::move(nic));
  return Rig(board);
}

// What a driver does before touching BAR memory: memory decoding and bus mastering on.
uint64_t EnableAndFindBar0(Rig &rig, Bdf bdf) {
  const uint64_t command = rig.m().MmioRead(Ecam(bdf, 0x04), 8);
  rig.m().MmioWrite(Ecam(bdf, 0x04), 8, command | 0x06);
  return rig.m().MmioRead(Ecam(bdf, 0x10), 32) & 0xFFFFFFF0;
}

TEST(NicModels, Intel700KeepsTheAddressInItsReceiveAddressRegisters) {
  PciFunction nic = Nic(kNic, NicModel::Intel700, 0x8086, 0x1572);
  nic.mac = kMac;
  Rig rig = RigWith(nic);
  const uint64_t bar = rig.m().MmioRead(Ecam(kNic, 0x10), 32) & 0xFFFFFFF0;
  ASSERT_NE(bar, 0u);
  EXPECT_TRUE(rig.m().IsDeviceMemory(bar + 0x1E2120));
  EXPECT_EQ(rig.m().MmioRead(bar + 0x1E2120, 32), 0xFFFFFFFFu) << "memory decoding is still off";

  ASSERT_EQ(EnableAndFindBar0(rig, kNic), bar);
  const uint64_t low = rig.m().MmioRead(bar + 0x1E2120, 32);
  const uint64_t high = rig.m().MmioRead(bar + 0x1E2140, 16);
  const Mac read = {uint8_t(low),       uint8_t(low >> 8), uint8_t(low >> 16),
                    uint8_t(low >> 24), uint8_t(high),     uint8_t(high >> 8)};
  EXPECT_EQ(read, kMac);

  const auto mmio = rig.Events("mmio");
  ASSERT_EQ(mmio.size(), 3u);
  EXPECT_EQ(mmio[1]["addr"], bar + 0x1E2120);
  EXPECT_EQ(mmio[1]["dir"], "read");
  EXPECT_EQ(mmio[1]["width"], 32);
  EXPECT_EQ(mmio[1]["value"], low);
}

TEST(NicModels, GenericNicKeepsSixBytesAt5400AndBoardBytesGoOnTop) {
  PciFunction nic = Nic(kNic, NicModel::Generic, 0x8086, 0x1521);
  nic.mac = kMac;
  nic.mmio = {{0x5405, {0x77}}, {0x10, {1, 2, 3, 4}}};
  Rig rig = RigWith(nic);
  const uint64_t bar = EnableAndFindBar0(rig, kNic);
  Mac read{};
  for (uint32_t i = 0; i < 6; ++i)
    read[i] = static_cast<uint8_t>(rig.m().MmioRead(bar + 0x5400 + i, 8));
  EXPECT_EQ(read, (Mac{0x00, 0x1B, 0x21, 0xA4, 0x5C, 0x77}));
  EXPECT_EQ(rig.m().MmioRead(bar + 0x10, 32), 0x04030201u);

  // Registers keep what is written; the window follows BAR0 when it moves.
  rig.m().MmioWrite(bar + 0x20, 32, 0xDEADBEEF);
  EXPECT_EQ(rig.m().MmioRead(bar + 0x20, 32), 0xDEADBEEFu);
  rig.m().MmioWrite(Ecam(kNic, 0x10), 32, 0xD8000000);
  EXPECT_EQ(rig.m().MmioRead(0xD8000020, 32), 0xDEADBEEFu);
  EXPECT_EQ(rig.m().MmioRead(bar + 0x20, 32), 0xFFFFFFFFu);
}

TEST(NicModels, BroadcomSerialNumberIsTheAddressInEui64Form) {
  PciFunction nic = Nic(kNic, NicModel::Broadcom, 0x14E4, 0x16D8);
  nic.mac = kMac;
  Rig rig = RigWith(nic);
  auto cfg8 = [&](uint32_t offset) { return rig.m().MmioRead(Ecam(kNic, offset), 8); };
  const Mac read = {uint8_t(cfg8(0x147)), uint8_t(cfg8(0x146)), uint8_t(cfg8(0x145)),
                    uint8_t(cfg8(0x142)), uint8_t(cfg8(0x141)), uint8_t(cfg8(0x140))};
  EXPECT_EQ(read, kMac);
  EXPECT_EQ(cfg8(0x144), 0xFFu);
  EXPECT_EQ(cfg8(0x143), 0xFEu);

  // The serial number is an extended capability reachable from 0x100.
  uint32_t at = 0x100;
  uint32_t found = 0;
  for (int hops = 0; at != 0 && hops < 16; ++hops) {
    const auto header = static_cast<uint32_t>(rig.m().MmioRead(Ecam(kNic, at), 32));
    if ((header & 0xFFFF) == 0x0003)
      found = at;
    at = header >> 20;
  }
  EXPECT_EQ(found, 0x13Cu);
}

// The VPD read procedure of a driver: address with the flag clear, poll for the flag, read data.
class VpdReader {
public:
  VpdReader(Rig &rig, Bdf bdf) : rig_(rig), bdf_(bdf) {
    uint32_t at = static_cast<uint32_t>(rig.PortConfigRead(bdf, 0x34, 8));
    for (int hops = 0; at != 0 && hops < 48; ++hops) {
      const auto header = static_cast<uint32_t>(rig.PortConfigRead(bdf, at, 16));
      if ((header & 0xFF) == 0x03) {
        capability_ = at;
        break;
      }
      at = header >> 8;
    }
  }
  uint32_t capability() const { return capability_; }

  void Start(uint16_t address) { rig_.m().MmioWrite(Ecam(bdf_, capability_ + 2), 16, address); }
  bool Done() { return rig_.m().MmioRead(Ecam(bdf_, capability_ + 2), 16) & 0x8000; }
  uint32_t Data() {
    return static_cast<uint32_t>(rig_.m().MmioRead(Ecam(bdf_, capability_ + 4), 32));
  }

  std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> image;
    for (uint16_t address = 0; address < size; address += 4) {
      Start(address);
      for (int polls = 0; !Done(); ++polls) {
        if (polls > 100)
          return image;
      }
      const uint32_t data = Data();
      for (int i = 0; i < 4; ++i)
        image.push_back(static_cast<uint8_t>(data >> (8 * i)));
    }
    return image;
  }

private:
  Rig &rig_;
  Bdf bdf_;
  uint32_t capability_ = 0;
};

// A keyword's value in the VPD-R resource, found by following the resource tags.
std::string KeywordValue(const std::vector<uint8_t> &image, const std::string &keyword) {
  size_t at = 0;
  while (at + 3 <= image.size() && image[at] != 0x78) {
    const size_t length = image[at + 1] | image[at + 2] << 8;
    if (image[at] == 0x90) {
      for (size_t field = at + 3; field + 3 <= at + 3 + length; field += 3 + image[field + 2]) {
        if (image[field] == keyword[0] && image[field + 1] == keyword[1]) {
          return std::string(image.begin() + field + 3,
                             image.begin() + field + 3 + image[field + 2]);
        }
      }
    }
    at += 3 + length;
  }
  return "<missing>";
}

TEST(NicModels, MellanoxAddressesAreVpdKeywords) {
  PciFunction nic = Nic(kNic, NicModel::Mellanox, 0x15B3, 0x1017);
  nic.vpd = std::vector<VpdKeyword>{{"VA", "2"}, {"V2", "0002C9ABCDEF"}, {"V3", "0002C9ABCDF0"}};
  Rig rig = RigWith(nic);
  VpdReader reader(rig, kNic);
  ASSERT_NE(reader.capability(), 0u);
  const std::vector<uint8_t> image = reader.Image(kVpdImageSize);
  ASSERT_EQ(image.size(), kVpdImageSize);
  EXPECT_EQ(image[0], 0x82);
  EXPECT_EQ(KeywordValue(image, "VA"), "2");
  EXPECT_EQ(KeywordValue(image, "V2"), "0002C9ABCDEF");
  EXPECT_EQ(KeywordValue(image, "V3"), "0002C9ABCDF0");
}

TEST(NicModels, MellanoxRawVpdComesBackByteForByte) {
  PciFunction nic = Nic(kNic, NicModel::Mellanox, 0x15B3, 0x1017);
  std::vector<uint8_t> raw(kVpdImageSize);
  for (size_t i = 0; i < raw.size(); ++i)
    raw[i] = static_cast<uint8_t>(i * 7 + 3);
  nic.vpd_raw = raw;
  Rig rig = RigWith(nic);
  VpdReader reader(rig, kNic);
  EXPECT_EQ(reader.Image(kVpdImageSize), raw);
}

TEST(NicModels, VpdCompletionFlagShowsAfterTheConfiguredReads) {
  std::vector<uint8_t> raw(kVpdImageSize, 0);
  raw[0x20] = 0x11, raw[0x21] = 0x22, raw[0x22] = 0x33, raw[0x23] = 0x44;
  for (uint32_t readyAfter : {0u, 1u, 3u}) {
    PciFunction nic = Nic(kNic, NicModel::Mellanox, 0x15B3, 0x1017);
    nic.vpd_raw = raw;
    nic.vpd_ready_after = readyAfter;
    Rig rig = RigWith(nic);
    VpdReader reader(rig, kNic);
    for (int round = 0; round < 2; ++round) { // a second read starts the count afresh
      reader.Start(round == 0 ? 0x20 : 0x04);
      for (uint32_t i = 0; i < readyAfter; ++i)
        EXPECT_FALSE(reader.Done()) << readyAfter << " " << i;
      EXPECT_TRUE(reader.Done()) << "ready after " << readyAfter;
      EXPECT_TRUE(reader.Done()) << "the flag stays set";
      EXPECT_EQ(reader.Data(), round == 0 ? 0x44332211u : 0u);
    }
  }
}

TEST(NicModels, VpdThatNeverAnswersNeverSetsTheFlag) {
  PciFunction nic = Nic(kNic, NicModel::Mellanox, 0x15B3, 0x1017);
  nic.vpd = std::vector<VpdKeyword>{{"VA", "1"}};
  nic.vpd_ready_after = std::nullopt;
  Rig rig = RigWith(nic);
  VpdReader reader(rig, kNic);
  const uint32_t before = reader.Data();
  reader.Start(0);
  for (int i = 0; i < 1000; ++i)
    ASSERT_FALSE(reader.Done()) << i;
  EXPECT_EQ(reader.Data(), before);
}

} // namespace
} // namespace boardsim::test
