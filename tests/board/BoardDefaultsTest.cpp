// A board file starts from the documented defaults: absent keys and sections take them.
#include "BoardTestSupport.h"

namespace boardsim::test {
namespace {

TEST(BoardDefaults, EmptyFileDescribesTheDefaultMachine) {
  const Board board = MustParse("", "boards/lab-7.toml");

  EXPECT_EQ(board.name, "lab-7");
  EXPECT_EQ(board.description, "");
  EXPECT_TRUE(board.pcd.values.empty());
  EXPECT_EQ(board.pcd.s3_communication_buffer, BoardPcd::BufferSource::Auto);

  EXPECT_TRUE(board.setup.present);
  EXPECT_EQ(board.setup.data, std::vector<uint8_t>(589, 0));

  EXPECT_EQ(board.host.bus_group_size_minus_one, 15);
  EXPECT_TRUE(board.host.registers.empty());
  EXPECT_TRUE(board.pci.empty());
  EXPECT_TRUE(board.smbus.empty());
  EXPECT_TRUE(board.heap.empty());
  EXPECT_TRUE(board.faults.empty());

  EXPECT_EQ(board.bmc.ready_after, std::optional<uint32_t>(0));
  EXPECT_EQ(board.bmc.not_ready, BmcNotReady::Error);
  EXPECT_EQ(board.bmc.response_size, 1u);

  EXPECT_EQ(board.cpu.msr, (std::map<uint32_t, uint64_t>{{0xC0010058, 0xE0000021}}));
  EXPECT_EQ(board.cpu.dr2 | board.cpu.dr3 | board.cpu.dr7 | board.cpu.cr4, 0u);
  EXPECT_EQ(board.cpu.error_stop_probe, 0);
  EXPECT_EQ(board.cpu.error_stop_cycles, 2u);
  EXPECT_EQ(board.cpu.tsc_per_pause, 100000000u);

  EXPECT_TRUE(board.smm.in_smm);
  EXPECT_EQ(board.smm.smram_size, 0x400000u);
  EXPECT_TRUE(board.smm.sx_dispatch && board.smm.power_button_dispatch && board.smm.hob_list);

  EXPECT_EQ(board.s3savesmm.DebugPrintEnable, 0);
  EXPECT_EQ(board.s3savesmm.BreakpointChannelEnable, 1);
  EXPECT_EQ(board.s3savesmm.FramedPortAddress, 0x80);
  EXPECT_EQ(board.s3savesmm.SerialPortBase, 0x3F8u);
  EXPECT_EQ(board.s3savesmm.DefaultDebugFilter, 0x100401008A300408u);

  ASSERT_EQ(board.uarts.size(), 1u);
  EXPECT_EQ(board.uarts[0].base, 0x3F8u);
  EXPECT_EQ(board.uarts[0].ready_after, std::optional<uint32_t>(0));

  const ServicesConfig &s = board.services;
  EXPECT_TRUE(s.pcd_ppi && s.read_only_variable2_ppi && s.stall_ppi && s.bmc_transport_ppi &&
              s.pcd_protocol && s.setup_item_protocol && s.smm_base2_protocol &&
              s.smm_access2_protocol && s.smm_communication_protocol);
}

TEST(BoardDefaults, BoardTablesFollowTheIndexPattern) {
  const BoardTables tables = MustParse("").board_tables;
  // Byte k of table t is (t * 0x40 + k) & 0xFF.
  EXPECT_EQ(tables.first[0], 0x40);
  EXPECT_EQ(tables.first[59], 0x7B);
  EXPECT_EQ(tables.second[0], 0x80);
  EXPECT_EQ(tables.second[17], 0x91);
  EXPECT_EQ(tables.third[0], 0xC0);
  EXPECT_EQ(tables.third[59], 0xFB);
}

TEST(BoardDefaults, EmptySectionsAndPartialSectionsKeepTheOtherDefaults) {
  const Board board = MustParse(R"(
[setup]
[cpu]
msr = { "0x10" = 5 }
dr7 = 0x400
[bmc]
not_ready = "size2"
)");
  EXPECT_EQ(board.setup.data.size(), 589u);
  // MSR entries merge over the default rather than replacing it.
  EXPECT_EQ(board.cpu.msr, (std::map<uint32_t, uint64_t>{{0x10, 5}, {0xC0010058, 0xE0000021}}));
  EXPECT_EQ(board.cpu.dr7, 0x400u);
  EXPECT_EQ(board.cpu.tsc_per_pause, 100000000u);
  EXPECT_EQ(board.bmc.not_ready, BmcNotReady::Size2);
  EXPECT_EQ(board.bmc.ready_after, std::optional<uint32_t>(0));
}

TEST(BoardDefaults, NameAndDescriptionOverrideTheFileStem) {
  const Board board = MustParse("name = \"bench\"\ndescription = \"two NICs\"", "x/y.toml");
  EXPECT_EQ(board.name, "bench");
  EXPECT_EQ(board.description, "two NICs");
}

} // namespace
} // namespace boardsim::test
