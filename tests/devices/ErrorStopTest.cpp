// The POST-code ports: what was shown on port 0x80, error stops recognised from their
// announcement, and the end of a run whose error stop nobody releases.
#include "DeviceRig.h"

namespace boardsim::test {
namespace {

constexpr uint32_t kCode = 0x00090672;

Board StopBoard(uint16_t probe, uint32_t cycles) {
  Board board;
  board.cpu.error_stop_probe = probe;
  board.cpu.error_stop_cycles = cycles;
  return board;
}

void Announce(Machine &m, uint32_t code) {
  m.IoWrite(0xE0, 16, 0xDEAD);
  m.IoWrite(0x80, 32, code);
}

uint16_t Probe(Machine &m) {
  return m.CpuidReturnSi(0xBACCD00B, 2, 0);
}

// One display cycle of a stopped processor: the marker and code rotated through port 0x80.
void DisplayCycle(Machine &m, uint32_t code) {
  uint64_t v = 0xDEADull << 48 | uint64_t{code} << 16;
  for (int i = 0; i < 6; ++i) {
    v = v << 8 | v >> 56;
    m.IoWrite(0x80, 32, static_cast<uint32_t>(v));
  }
}

TEST(ErrorStop, AnnouncementIsTheMarkerDirectlyFollowedByA32BitCode) {
  Rig rig(StopBoard(1, 2));
  Announce(rig.m(), kCode);
  Probe(rig.m());
  Announce(rig.m(), 0);
  Probe(rig.m());

  // Not announcements: the marker of another width, a write between, a narrow code.
  rig.m().IoWrite(0xE0, 32, 0xDEAD);
  rig.m().IoWrite(0x80, 32, 0x1111);
  rig.m().IoWrite(0xE0, 8, 0xAD);
  rig.m().IoWrite(0x80, 32, 0x2222);
  rig.m().IoWrite(0xE0, 16, 0xDEAD);
  rig.m().IoWrite(0x3F8, 8, 'x');
  rig.m().IoWrite(0x80, 32, 0x3333);
  rig.m().IoWrite(0xE0, 16, 0xDEAD);
  rig.m().IoWrite(0x80, 8, 0x44);
  rig.m().IoWrite(0x80, 32, 0x5555);

  const Json final = rig.Final();
  EXPECT_EQ(final["error_stops"], (Json{kCode, 0}));
  EXPECT_EQ(final["port80"], (Json{kCode, 0, 0x1111, 0x2222, 0x3333, 0x44, 0x5555}));
}

TEST(ErrorStop, UnreleasedStopHaltsAfterTheConfiguredDisplayCycles) {
  for (uint32_t cycles : {1u, 3u}) {
    Rig rig(StopBoard(0, cycles));
    Announce(rig.m(), kCode);
    EXPECT_EQ(Probe(rig.m()), 0) << "real hardware leaves SI alone";
    for (uint32_t c = 0; c + 1 < cycles; ++c)
      DisplayCycle(rig.m(), kCode);
    for (int i = 0; i < 5; ++i)
      rig.m().IoWrite(0x80, 32, 0x0000DEAD);
    EXPECT_THROW(rig.m().IoWrite(0x80, 32, kCode), RunHalted) << cycles << " cycles";

    const Json final = rig.Final();
    EXPECT_EQ(final["error_stops"], Json{kCode});
    EXPECT_EQ(final["port80"].size(), 1 + 6 * cycles);
    EXPECT_EQ(rig.Events("io").back()["value"], kCode) << "the last write is traced";
  }
}

TEST(ErrorStop, DisplayCyclesMatchTheRotatedMarkerAndCode) {
  Rig rig(StopBoard(0, 1));
  Announce(rig.m(), 0x00010133);
  Probe(rig.m());
  EXPECT_THROW(DisplayCycle(rig.m(), 0x00010133), RunHalted);
  EXPECT_EQ(rig.Final()["port80"], (Json{0x00010133, 0x330000DE, 0x0000DEAD, 0x00DEAD00, 0xDEAD0001,
                                         0xAD000101, 0x00010133}));
}

TEST(ErrorStop, ProbeAnsweredNonZeroReleasesTheStop) {
  Rig rig(StopBoard(0x1234, 1));
  Announce(rig.m(), kCode);
  EXPECT_EQ(Probe(rig.m()), 0x1234);
  for (int i = 0; i < 60; ++i)
    rig.m().IoWrite(0x80, 32, i);
  EXPECT_EQ(rig.Final()["error_stops"], Json{kCode});

  const auto cpuid = rig.Events("cpuid");
  ASSERT_EQ(cpuid.size(), 1u);
  EXPECT_EQ(cpuid[0]["eax"], 0xBACCD00Bu);
  EXPECT_EQ(cpuid[0]["ebx"], 2);
  EXPECT_EQ(cpuid[0]["si_out"], 0x1234);
  // Other leaves are not the probe: SI comes back as it went in.
  EXPECT_EQ(rig.m().CpuidReturnSi(0xBACCD00B, 1, 7), 7);
}

TEST(ErrorStop, NoDisplayCyclesHaltsAtTheProbe) {
  Rig rig(StopBoard(0, 0));
  Announce(rig.m(), kCode);
  EXPECT_THROW(Probe(rig.m()), RunHalted);
}

TEST(ErrorStop, Port80KeepsTheLast256Values) {
  Rig rig(StopBoard(0, 2));
  for (uint32_t i = 0; i < 300; ++i)
    rig.m().IoWrite(0x80, i % 2 ? 8 : 32, i & 0xFF);
  const Json port80 = rig.Final()["port80"];
  ASSERT_EQ(port80.size(), 256u);
  EXPECT_EQ(port80.front(), 44);
  EXPECT_EQ(port80.back(), 299 & 0xFF);
  EXPECT_EQ(rig.m().IoRead(0x80, 8), 0xFFu) << "the display cannot be read back";
}

} // namespace
} // namespace boardsim::test
