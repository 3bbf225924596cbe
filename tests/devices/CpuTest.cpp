// The processor's registers as modules reach them: MSRs over the board's values, debug
// registers, CR4, and a time-stamp counter driven by PAUSE.
#include "DeviceRig.h"

namespace boardsim::test {
namespace {

TEST(Cpu, MsrsStartFromTheBoardAndFinalListsEveryOneTouched) {
  Board board;
  board.cpu.msr[0xC0010064] = 0x800000000000080Aull;
  board.cpu.msr[0xC0010065] = 0x1234; // listed but never touched
  Rig rig(board);
  EXPECT_EQ(rig.m().ReadMsr(0xC0010058), 0xE0000021u);
  EXPECT_EQ(rig.m().ReadMsr(0xC0010064), 0x800000000000080Aull);
  EXPECT_EQ(rig.m().ReadMsr(0xC0010063), 0u) << "unlisted MSRs read 0";
  rig.m().WriteMsr(0xC001100A, 0x11);
  EXPECT_EQ(rig.m().ReadMsr(0xC001100A), 0x11u);
  rig.m().WriteMsr(0x10, 5);

  EXPECT_EQ(rig.Final()["msr"], (Json{{"0x10", 5},
                                      {"0xC0010058", 0xE0000021},
                                      {"0xC0010063", 0},
                                      {"0xC0010064", 0x800000000000080Aull},
                                      {"0xC001100A", 0x11}}));
  const auto msr = rig.Events("msr");
  ASSERT_EQ(msr.size(), 6u);
  EXPECT_EQ(msr[3]["dir"], "write");
  EXPECT_EQ(msr[3]["index"], 0xC001100Au);
  EXPECT_EQ(msr[3]["value"], 0x11);
  EXPECT_EQ(msr[1]["value"], 0x800000000000080Aull) << "64-bit values exactly";
}

TEST(Cpu, DebugRegistersAndCr4KeepTheirValues) {
  Board board;
  board.cpu.dr3 = 0x1000;
  board.cpu.cr4 = 0x20;
  Rig rig(board);
  EXPECT_EQ(rig.m().ReadDr(3), 0x1000u);
  rig.m().WriteDr(7, 0x2000420);
  rig.m().WriteCr4(rig.m().ReadCr4() | 0x8);
  const Json final = rig.Final();
  EXPECT_EQ(final["dr"], (Json{{"2", 0}, {"3", 0x1000}, {"7", 0x2000420}}));
  EXPECT_EQ(final["cr4"], 0x28);

  const auto dr = rig.Events("dr");
  ASSERT_EQ(dr.size(), 2u);
  EXPECT_EQ(dr[0]["dir"], "read");
  EXPECT_EQ(dr[0]["reg"], 3);
  EXPECT_EQ(dr[1]["reg"], 7);
  EXPECT_EQ(rig.Events("cr4").back()["value"], 0x28);
}

TEST(Cpu, TimeStampCounterStartsAtZeroAndMovesOnlyWithPause) {
  Board board;
  board.cpu.tsc_per_pause = 250;
  Rig rig(board);
  EXPECT_EQ(rig.m().ReadTsc(), 0u);
  EXPECT_EQ(rig.m().ReadTsc(), 0u);
  rig.m().Pause();
  rig.m().Pause();
  EXPECT_EQ(rig.m().ReadTsc(), 500u);
  EXPECT_EQ(rig.Events("pause").size(), 2u);
  EXPECT_EQ(rig.Events("tsc").back()["value"], 500);

  // A wait loop in the style of a busy delay ends after the expected number of pauses.
  const uint64_t start = rig.m().ReadTsc();
  int pauses = 0;
  while (rig.m().ReadTsc() <= start + 1000) {
    rig.m().Pause();
    ++pauses;
  }
  EXPECT_EQ(pauses, 5);
}

TEST(Cpu, MachineStateAppearsInTheFinalEventOfARun) {
  Board board;
  board.boot.clear();
  board.smbus.push_back(SmbusDevice{0, 0x50, {{1, 2}}, 0, {}, true});
  Simulator sim(board);
  const RunResult result = sim.Run();
  for (const char *key : {"smbus", "host_registers", "pci_command", "uart_text", "port80",
                          "error_stops", "dr", "cr4", "msr"}) {
    EXPECT_TRUE(result.final.contains(key)) << key;
  }
  EXPECT_EQ(result.final["smbus"], (Json{{"80", {{"1", 2}}}}));
}

} // namespace
} // namespace boardsim::test
