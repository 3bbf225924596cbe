// One board text that uses every key of every section, read back field by field.
#include "BoardTestSupport.h"

namespace boardsim::test {
namespace {

constexpr std::string_view kFullBoard = R"(name = "full"
description = "every key once"

[pcd]
PcdNic1BridgeLocation = 0x00E0
PcdNicFunctionLayout = 0xFF
PcdBoardSetupMask = "0xFFFFFFFFFFFFFFFF"
PcdS3CommunicationBuffer = 0
"777" = 5

[setup]
present = true
size = 600
bytes = { 584 = 1, 0x10 = 0xAB }

[host]
bus_group_size_minus_one = 7
registers = [
  { instance = 0, index = 0x0001C0A0, value = 0x00123456 },
  { instance = 4, index = 0x02D01D00, value = 0xFFFFFFFF },
]

[[pci]]
bdf = "00:1c.0"
kind = "bridge"
secondary = 1
subordinate = 2

[[pci]]
bdf = "01:00.1"
kind = "nic"
model = "intel700"
mac = "00:1B:21:AA:BB:CC"
bar0 = 0xE6000000
capabilities = [0x10, 0x01]
config = { 4 = 0x06, 0xFFF = 0x5A }
mmio = { 0x5400 = "DEAD BEEF" }

[[pci]]
bdf = "02:1f.7"
kind = "nic"
model = "mellanox"
vendor = 0x15B3
device = 0x1015
class = 0x03
vpd = [["VA", "2"], ["V2", "0002C9ABCDEF"]]
vpd_ready_after = "never"

[[pci]]
bdf = "ff:00.0"
vpd_raw = "82 00 01"
vpd_ready_after = 3

[[smbus]]
address = 0x50
regs = { 0 = 0x12, 0xFF = 0x34 }
fail_first = 2
fail_on = [3, 7]
present = false

[bmc]
ready_after = "never"
not_ready = "size2"
response_size = 9

[cpu]
msr = { "0xC0010058" = 0, "0xC001100A" = "0x8000000000000001" }
dr2 = 0x99CC
dr3 = 1
dr7 = 0x2000420
cr4 = 0x600
error_stop_probe = 0xBEEF
error_stop_cycles = 4
tsc_per_pause = 1000

[smm]
in_smm = false
smram_size = 0x100000
sx_dispatch = false
power_button_dispatch = false
hob_list = false

[[heap]]
handle = 0x1234
kind = 8
copy_to_smram = 0
data = "01 02 03"
signature = 0x12345678
guid = "00112233-4455-6677-8899-AABBCCDDEEFF"
size = 2
hob_length = 24

[[heap]]
handle = 0xA014
trace_buffer = { capacity = 16, count = 2, enable = 1, buffered = 1, filter = 0x8, signature = 0xDB1099CC, data = "4142" }

[board_tables]
first = "01 02"
third = "FF"

[s3savesmm]
DebugPrintEnable = 1
BreakpointChannelEnable = 0
FramedPortAddress = 0x84
SerialPortBase = 0xFEDC9000
DefaultDebugFilter = 0x80000000

[[uart]]
base = 0x3F8
ready_after = 2

[[uart]]
base = 0x2F8
ready_after = "never"

[services]
PCD_PPI = false
EFI_PEI_READ_ONLY_VARIABLE2_PPI = false
EFI_PEI_STALL_PPI = false
BMC_TRANSPORT_PPI = false
PCD_PROTOCOL = false
SETUP_ITEM_PROTOCOL = false
EFI_SMM_BASE2_PROTOCOL = false
EFI_SMM_ACCESS2_PROTOCOL = true
EFI_SMM_COMMUNICATION_PROTOCOL = false

[[fault]]
call = "smm.SmmAllocatePool"
image = "S3SaveSmm#2"
target = "Setup"
nth = "all"
status = "EFI_WARN_STALE_DATA"

[[fault]]
call = "pei.EFI_PEI_SMBUS2_PPI.Execute"
nth = 3

[[boot]]
dispatch = "BoardInfoPei"
)";

class FullBoard : public ::testing::Test {
protected:
  static void SetUpTestSuite() { board_ = new Board(MustParse(kFullBoard)); }
  static void TearDownTestSuite() { delete board_; }
  static const Board &board() { return *board_; }

private:
  static inline Board *board_ = nullptr;
};

TEST_F(FullBoard, TopLevelPcdAndSetup) {
  EXPECT_EQ(board().name, "full");
  EXPECT_EQ(board().description, "every key once");

  const BoardPcd &pcd = board().pcd;
  EXPECT_EQ(pcd.s3_communication_buffer, BoardPcd::BufferSource::Value); // 0: no buffer
  EXPECT_EQ(pcd.values,
            (std::map<uint32_t, uint64_t>{
                {2, 0xE0}, {251, 0xFF}, {279, 0xFFFFFFFFFFFFFFFF}, {553, 0}, {777, 5}}));

  ASSERT_EQ(board().setup.data.size(), 600u);
  EXPECT_EQ(board().setup.data[584], 1);
  EXPECT_EQ(board().setup.data[0x10], 0xAB);
  EXPECT_EQ(std::count(board().setup.data.begin(), board().setup.data.end(), 0), 598);
}

TEST_F(FullBoard, HostWindow) {
  const HostConfig &host = board().host;
  EXPECT_EQ(host.bus_group_size_minus_one, 7);
  ASSERT_EQ(host.registers.size(), 2u);
  EXPECT_EQ(host.registers[0].instance, 0u);
  EXPECT_EQ(host.registers[0].index, 0x0001C0A0u);
  EXPECT_EQ(host.registers[0].value, 0x00123456u);
  EXPECT_EQ(host.registers[1].instance, 4u);
  EXPECT_EQ(host.registers[1].value, 0xFFFFFFFFu);
}

TEST_F(FullBoard, PciFunctionsKeepTheirOrderAndResolveModelDefaults) {
  const std::vector<PciFunction> &pci = board().pci;
  ASSERT_EQ(pci.size(), 4u);

  const PciFunction &bridge = pci[0];
  EXPECT_EQ(bridge.line, 23u);
  EXPECT_EQ(bridge.bdf, (Bdf{0x00, 0x1C, 0}));
  EXPECT_EQ(bridge.kind, PciKind::Bridge);
  EXPECT_EQ(bridge.class_code, 0x06);
  EXPECT_EQ(bridge.secondary, std::optional<uint8_t>(1));
  EXPECT_EQ(bridge.subordinate, std::optional<uint8_t>(2));
  EXPECT_EQ(bridge.vpd_ready_after, std::optional<uint32_t>(1));

  const PciFunction &intel = pci[1];
  EXPECT_EQ(intel.bdf, (Bdf{0x01, 0x00, 1}));
  EXPECT_EQ(intel.kind, PciKind::Nic);
  EXPECT_EQ(intel.model, NicModel::Intel700);
  EXPECT_EQ(intel.vendor, 0x8086);
  EXPECT_EQ(intel.device, 0x1572);
  EXPECT_EQ(intel.class_code, 0x02);
  EXPECT_EQ(intel.mac, (std::array<uint8_t, 6>{0x00, 0x1B, 0x21, 0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(intel.bar0, std::optional<uint32_t>(0xE6000000));
  EXPECT_EQ(intel.capabilities, (std::vector<uint8_t>{0x10, 0x01}));
  EXPECT_EQ(intel.config, (std::map<uint16_t, uint8_t>{{4, 0x06}, {0xFFF, 0x5A}}));
  EXPECT_EQ(intel.mmio.at(0x5400), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_FALSE(intel.vpd.has_value());

  const PciFunction &mellanox = pci[2];
  EXPECT_EQ(mellanox.bdf, (Bdf{0x02, 0x1F, 7}));
  EXPECT_EQ(mellanox.vendor, 0x15B3);
  EXPECT_EQ(mellanox.device, 0x1015); // given, not the model's 0x1017
  EXPECT_EQ(mellanox.class_code, 0x03);
  ASSERT_TRUE(mellanox.vpd.has_value());
  ASSERT_EQ(mellanox.vpd->size(), 2u);
  EXPECT_EQ((*mellanox.vpd)[1].keyword, "V2");
  EXPECT_EQ((*mellanox.vpd)[1].value, "0002C9ABCDEF");
  EXPECT_FALSE(mellanox.vpd_ready_after.has_value()); // "never"

  const PciFunction &plain = pci[3];
  EXPECT_EQ(plain.kind, PciKind::Device);
  EXPECT_EQ(plain.class_code, 0xFF);
  EXPECT_EQ(plain.vendor, 0x8086); // generic IDs
  EXPECT_EQ(plain.device, 0x1521);
  ASSERT_TRUE(plain.vpd_raw.has_value());
  ASSERT_EQ(plain.vpd_raw->size(), 256u); // padded with 0
  EXPECT_EQ((*plain.vpd_raw)[0], 0x82);
  EXPECT_EQ((*plain.vpd_raw)[2], 0x01);
  EXPECT_EQ((*plain.vpd_raw)[255], 0x00);
  EXPECT_EQ(plain.vpd_ready_after, std::optional<uint32_t>(3));
}

TEST_F(FullBoard, SmbusBmcAndUarts) {
  ASSERT_EQ(board().smbus.size(), 1u);
  const SmbusDevice &device = board().smbus[0];
  EXPECT_EQ(device.address, 0x50);
  EXPECT_EQ(device.regs, (std::map<uint8_t, uint8_t>{{0, 0x12}, {0xFF, 0x34}}));
  EXPECT_EQ(device.fail_first, 2u);
  EXPECT_EQ(device.fail_on, (std::vector<uint32_t>{3, 7}));
  EXPECT_FALSE(device.present);

  EXPECT_FALSE(board().bmc.ready_after.has_value());
  EXPECT_EQ(board().bmc.not_ready, BmcNotReady::Size2);
  EXPECT_EQ(board().bmc.response_size, 9u);

  // The entry at 0x3F8 configures the legacy UART instead of adding one.
  ASSERT_EQ(board().uarts.size(), 2u);
  EXPECT_EQ(board().uarts[0].base, 0x3F8u);
  EXPECT_EQ(board().uarts[0].ready_after, std::optional<uint32_t>(2));
  EXPECT_EQ(board().uarts[1].base, 0x2F8u);
  EXPECT_FALSE(board().uarts[1].ready_after.has_value());
}

TEST_F(FullBoard, CpuSmmAndS3SaveSmmSettings) {
  const CpuConfig &cpu = board().cpu;
  EXPECT_EQ(cpu.msr,
            (std::map<uint32_t, uint64_t>{{0xC0010058, 0}, {0xC001100A, 0x8000000000000001}}));
  EXPECT_EQ(cpu.dr2, 0x99CCu);
  EXPECT_EQ(cpu.dr3, 1u);
  EXPECT_EQ(cpu.dr7, 0x2000420u);
  EXPECT_EQ(cpu.cr4, 0x600u);
  EXPECT_EQ(cpu.error_stop_probe, 0xBEEF);
  EXPECT_EQ(cpu.error_stop_cycles, 4u);
  EXPECT_EQ(cpu.tsc_per_pause, 1000u);

  const SmmConfig &smm = board().smm;
  EXPECT_FALSE(smm.in_smm || smm.sx_dispatch || smm.power_button_dispatch || smm.hob_list);
  EXPECT_EQ(smm.smram_size, 0x100000u);

  const S3SaveSmmSettings &s3 = board().s3savesmm;
  EXPECT_EQ(s3.DebugPrintEnable, 1);
  EXPECT_EQ(s3.BreakpointChannelEnable, 0);
  EXPECT_EQ(s3.FramedPortAddress, 0x84);
  EXPECT_EQ(s3.SerialPortBase, 0xFEDC9000u);
  EXPECT_EQ(s3.DefaultDebugFilter, 0x80000000u);
}

TEST_F(FullBoard, HeapRecords) {
  ASSERT_EQ(board().heap.size(), 2u);
  const HeapRecord &raw = board().heap[0];
  EXPECT_EQ(raw.handle, 0x1234u);
  EXPECT_EQ(raw.kind, 8);
  EXPECT_EQ(raw.copy_to_smram, 0);
  EXPECT_EQ(raw.data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(raw.signature, 0x12345678u);
  EXPECT_EQ(raw.guid, (GuidBytes{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA,
                                 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(raw.size, 2u);
  EXPECT_EQ(raw.hob_length, 24);

  const HeapRecord &trace = board().heap[1];
  EXPECT_EQ(trace.handle, 0xA014u);
  EXPECT_EQ(trace.kind, 0);
  EXPECT_EQ(trace.copy_to_smram, 1);
  EXPECT_EQ(trace.signature, 0x50414548u);
  EXPECT_EQ(trace.guid, kHeapTransferHobGuid);
  ASSERT_TRUE(trace.trace_buffer.has_value());
  EXPECT_EQ(trace.trace_buffer->capacity, 16);
  EXPECT_EQ(trace.trace_buffer->count, 2);
  EXPECT_EQ(trace.trace_buffer->enable, 1);
  EXPECT_EQ(trace.trace_buffer->buffered, 1);
  EXPECT_EQ(trace.trace_buffer->filter, 8u);
  EXPECT_EQ(trace.trace_buffer->data, (std::vector<uint8_t>{0x41, 0x42}));
  EXPECT_EQ(trace.size, 0x201u + 16);
  EXPECT_EQ(trace.hob_length, 0x240); // 40 + 0x211 = 0x239, rounded up to 8
}

TEST_F(FullBoard, TablesServicesAndFaults) {
  const BoardTables &tables = board().board_tables;
  EXPECT_EQ(tables.first[0], 0x01);
  EXPECT_EQ(tables.first[1], 0x02);
  EXPECT_EQ(tables.first[2], 0x00); // a given table is padded with 0, not the pattern
  EXPECT_EQ(tables.second[0], 0x80);
  EXPECT_EQ(tables.third[0], 0xFF);
  EXPECT_EQ(tables.third[59], 0x00);

  const ServicesConfig &s = board().services;
  EXPECT_FALSE(s.pcd_ppi || s.read_only_variable2_ppi || s.stall_ppi || s.bmc_transport_ppi ||
               s.pcd_protocol || s.setup_item_protocol || s.smm_base2_protocol ||
               s.smm_communication_protocol);
  EXPECT_TRUE(s.smm_access2_protocol);

  ASSERT_EQ(board().faults.size(), 2u);
  const FaultSpec &all = board().faults[0];
  EXPECT_EQ(all.call, "smm.SmmAllocatePool");
  EXPECT_EQ(all.image, std::optional<std::string>("S3SaveSmm#2"));
  EXPECT_EQ(all.target, std::optional<std::string>("Setup"));
  EXPECT_FALSE(all.nth.has_value());
  EXPECT_EQ(all.status, "EFI_WARN_STALE_DATA");
  const FaultSpec &third = board().faults[1];
  EXPECT_EQ(third.call, "pei.EFI_PEI_SMBUS2_PPI.Execute");
  EXPECT_FALSE(third.image.has_value());
  EXPECT_FALSE(third.target.has_value());
  EXPECT_EQ(third.nth, std::optional<uint32_t>(3));
  EXPECT_EQ(third.status, "EFI_OUT_OF_RESOURCES");
  EXPECT_EQ(third.line, 134u);

  // A given boot script replaces the default one entirely.
  ASSERT_EQ(board().boot.size(), 1u);
  EXPECT_EQ(board().boot[0].action, BootAction::Dispatch);
}

TEST(BoardSections, SetupVariableFromDataOrAbsent) {
  EXPECT_EQ(MustParse("[setup]\ndata = \"0102:03\"").setup.data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(MustParse("[setup]\nsize = 0").setup.data.size(), 0u);
  const Board absent = MustParse("[setup]\npresent = false");
  EXPECT_FALSE(absent.setup.present);
  EXPECT_TRUE(absent.setup.data.empty());
}

TEST(BoardSections, PcdKeysByNameAndNumberAndTheAutoBuffer) {
  // A decimal key naming a listed token takes that token's width.
  EXPECT_EQ(MustParse("[pcd]\n\"251\" = 0xFF").pcd.values.at(251), 0xFFu);
  EXPECT_FALSE(ParseBoardText("[pcd]\n\"251\" = 0x100", "t.toml").board.has_value());
  // An unlisted token number may hold any 64-bit value.
  EXPECT_EQ(MustParse("[pcd]\n\"9999\" = \"0xFFFFFFFFFFFFFFFF\"").pcd.values.at(9999),
            0xFFFFFFFFFFFFFFFFu);

  const Board automatic = MustParse("[pcd]\nPcdS3CommunicationBuffer = \"auto\"");
  EXPECT_EQ(automatic.pcd.s3_communication_buffer, BoardPcd::BufferSource::Auto);
  EXPECT_FALSE(automatic.pcd.values.contains(553));
  const Board fixed = MustParse("[pcd]\nPcdS3CommunicationBuffer = 0x7F000000");
  EXPECT_EQ(fixed.pcd.s3_communication_buffer, BoardPcd::BufferSource::Value);
  EXPECT_EQ(fixed.pcd.values.at(553), 0x7F000000u);
}

} // namespace
} // namespace boardsim::test
