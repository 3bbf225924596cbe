// Every class of board-file error names the file, the line and the dotted key, and no board is
// returned while any error remains.
#include "BoardTestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace boardsim::test {
namespace {

struct ErrorCase {
  std::string_view what;
  std::string text;
  uint32_t line;
  std::string_view key;
  std::string_view messagePart;
};

void ExpectSingleError(const ErrorCase &c) {
  SCOPED_TRACE(std::string(c.what));
  const std::vector<BoardError> errors = MustFail(c.text, "boards/case.toml");
  std::string report;
  for (const BoardError &error : errors)
    report += error.ToString() + "\n";
  ASSERT_EQ(errors.size(), 1u) << report;
  const BoardError &error = errors.front();
  EXPECT_EQ(error.file, "boards/case.toml");
  EXPECT_EQ(error.line, c.line) << error.ToString();
  EXPECT_EQ(error.key, c.key) << error.ToString();
  EXPECT_NE(error.message.find(c.messagePart), std::string::npos) << error.ToString();
  EXPECT_FALSE(error.hint.empty()) << error.ToString();
}

TEST(BoardErrors, UnknownKeysAndWrongTypes) {
  const ErrorCase cases[] = {
      {"unknown top-level key", "nmae = \"x\"", 1, "nmae", "unknown key"},
      {"unknown section", "\n[gpio]\npin = 1", 2, "gpio", "unknown key"},
      {"unknown key in an entry", "[[smbus]]\naddress = 0x50\nfail_frist = 1", 3,
       "smbus[0].fail_frist", "unknown key"},
      {"unknown key in a nested table", "[[heap]]\nhandle = 1\ntrace_buffer = { capacty = 4 }", 3,
       "heap[0].trace_buffer.capacty", "unknown key"},
      {"string for an integer", "[bmc]\nresponse_size = \"4\"", 2, "bmc.response_size",
       "expected an integer, found a string"},
      {"integer for a bool", "[smm]\nin_smm = 1", 2, "smm.in_smm", "expected true or false"},
      {"table where entries are expected", "[pci]\nbdf = \"00:00.0\"", 1, "pci",
       "expected an array of tables"},
      {"float for a count", "[bmc]\nready_after = 1.5", 2, "bmc.ready_after",
       "expected a count or \"never\""},
      {"wrong word for never", "[[uart]]\nbase = 0x2F8\nready_after = \"nver\"", 3,
       "uart[0].ready_after", "neither a count nor \"never\""},
      {"unknown choice", "[[pci]]\nbdf = \"00:01.0\"\nkind = \"switch\"", 3, "pci[0].kind",
       "unknown value \"switch\""},
      {"missing required key", "[[smbus]]\nregs = { 1 = 2 }", 1, "smbus[0].address",
       "required key `address` is missing"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, OutOfRangeValues) {
  const ErrorCase cases[] = {
      {"8-bit SMBus address", "[[smbus]]\naddress = 0x80", 2, "smbus[0].address",
       "not a 7-bit SMBus address"},
      {"bus group size", "[host]\nbus_group_size_minus_one = 256", 2,
       "host.bus_group_size_minus_one", "out of range"},
      {"negative value", "[cpu]\ndr7 = -1", 2, "cpu.dr7", "negative"},
      {"register value above 32 bits",
       "[host]\nregisters = [{instance=0, index=1, value=0x100000000}]", 2,
       "host.registers[0].value", "out of range"},
      {"16-bit probe", "[cpu]\nerror_stop_probe = 0x10000", 2, "cpu.error_stop_probe",
       "out of range"},
      {"config offset past 4 KiB", "[[pci]]\nbdf = \"00:01.0\"\nconfig = { 0x1000 = 1 }", 3,
       "pci[0].config.0x1000", "out of range"},
      {"config byte", "[[pci]]\nbdf = \"00:01.0\"\nconfig = { 4 = 0x100 }", 3, "pci[0].config.4",
       "out of range"},
      {"fail_on counts from 1", "[[smbus]]\naddress = 1\nfail_on = [2, 0]", 3,
       "smbus[0].fail_on[1]", "out of range"},
      {"setup byte past the end", "[setup]\nsize = 8\nbytes = { 8 = 1 }", 3, "setup.bytes.8",
       "past the end of the 8-byte variable"},
      {"response size is one byte", "[bmc]\nresponse_size = 256", 2, "bmc.response_size",
       "out of range"},
      {"board table longer than 60 bytes",
       "[board_tables]\nsecond = \"" + std::string(122, '0') + "\"", 2, "board_tables.second",
       "61 bytes long"},
      {"VPD image longer than 256 bytes",
       "[[pci]]\nbdf = \"00:01.0\"\nvpd_raw = \"" + std::string(514, 'F') + "\"", 3,
       "pci[0].vpd_raw", "257 bytes long"},
      {"payload too long for a 16-bit HobLength", "[[heap]]\nhandle = 1\nsize = 65489", 1,
       "heap[0].size", "16-bit HobLength"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, HexTextAddressesAndGuids) {
  const ErrorCase cases[] = {
      {"odd hex digits", "[setup]\ndata = \"012\"", 2, "setup.data", "odd number of hex digits"},
      {"non-hex byte", "[[heap]]\nhandle = 1\ndata = \"01 0g\"", 3, "heap[0].data",
       "'g' at position 5 is not a hex digit"},
      {"MAC of five bytes", "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nmac = \"0102030405\"", 4,
       "pci[0].mac", "has 5"},
      {"BDF without a dot", "[[pci]]\nbdf = \"00:1c\"", 2, "pci[0].bdf", "bb:dd.f"},
      {"bus above 0xFF", "[[pci]]\nbdf = \"100:00.0\"", 2, "pci[0].bdf", "bus 0x100"},
      {"device above 0x1F", "[[pci]]\nbdf = \"00:20.0\"", 2, "pci[0].bdf", "device 0x20"},
      {"function above 7", "[[pci]]\nbdf = \"00:1f.8\"", 2, "pci[0].bdf", "function 8"},
      {"short GUID", "[[heap]]\nhandle = 1\nguid = \"D97D161A-16CD-4ADA-B9F6\"", 3, "heap[0].guid",
       "registry form"},
      {"numbered key that is no number", "[[smbus]]\naddress = 1\nregs = { x1 = 2 }", 3,
       "smbus[0].regs.x1", "not a decimal or 0x-prefixed hex number"},
      {"same offset written two ways", "[setup]\nbytes = { 16 = 1, 0x10 = 2 }", 2, "setup.bytes.16",
       "given twice"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, DeviceDescriptionRules) {
  const ErrorCase cases[] = {
      {"duplicate BDF", "[[pci]]\nbdf = \"01:00.0\"\n[[pci]]\nbdf = \"01:00.0\"", 4, "pci[1].bdf",
       "already described"},
      {"duplicate BDF written differently", "[[pci]]\nbdf = \"1:0.0\"\n[[pci]]\nbdf = \"01:00.0\"",
       4, "pci[1].bdf", "01:00.0 is already described"},
      {"bridge without subordinate", "[[pci]]\nbdf = \"00:1c.0\"\nkind = \"bridge\"\nsecondary = 1",
       1, "pci[0].subordinate", "a bridge needs"},
      {"model on a non-NIC", "[[pci]]\nbdf = \"00:01.0\"\nmodel = \"broadcom\"", 3, "pci[0].model",
       "only to network controllers"},
      {"mac on a mellanox",
       "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nmodel = \"mellanox\"\nmac = \"000000000001\"",
       5, "pci[0].mac", "keeps its address in VPD"},
      {"vpd and vpd_raw", "[[pci]]\nbdf = \"01:00.0\"\nvpd = [[\"VA\",\"1\"]]\nvpd_raw = \"00\"", 4,
       "pci[0].vpd_raw", "both describe the VPD image"},
      {"VPD keyword of three characters", "[[pci]]\nbdf = \"01:00.0\"\nvpd = [[\"VAX\",\"1\"]]", 3,
       "pci[0].vpd[0]", "not two characters"},
      {"BAR0 with flag bits", "[[pci]]\nbdf = \"01:00.0\"\nbar0 = 0xFE000008", 3, "pci[0].bar0",
       "bits 3..0"},
      {"duplicate SMBus address", "[[smbus]]\naddress = 0x50\n[[smbus]]\naddress = 0x50", 4,
       "smbus[1].address", "already described"},
      {"second UART at one base", "[[uart]]\nbase = 0x2F8\n[[uart]]\nbase = 0x2F8", 4,
       "uart[1].base", "already described"},
      {"duplicate host register",
       "[host]\nregisters = [{instance=1, index=2, value=3},\n{instance=1, index=2, value=4}]", 3,
       "host.registers[1]", "given twice"},
      {"data and trace buffer", "[[heap]]\nhandle = 1\ndata = \"00\"\ntrace_buffer = {}", 4,
       "heap[0].trace_buffer", "both give the payload"},
      {"trace data beyond capacity",
       "[[heap]]\nhandle = 1\ntrace_buffer = { capacity = 1, data = \"0102\" }", 3,
       "heap[0].trace_buffer.data", "do not fit"},
      {"setup data with size", "[setup]\nsize = 4\ndata = \"00\"", 3, "setup.data",
       "cannot be used with it"},
      {"boot-only PPI in services", "[services]\nEFI_PEI_SMBUS2_PPI = true", 2,
       "services.EFI_PEI_SMBUS2_PPI", "boot step installs it"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, PcdTokens) {
  const ErrorCase cases[] = {
      {"unknown token name", "[pcd]\nPcdNic5BridgeLocation = 1", 2, "pcd.PcdNic5BridgeLocation",
       "unknown PCD token"},
      {"8-bit overflow", "[pcd]\nPcdNicFunctionLayout = 0x100", 2, "pcd.PcdNicFunctionLayout",
       "8 bits wide"},
      {"32-bit overflow", "[pcd]\nPcdBoardDeviceCode = 0x100000000", 2, "pcd.PcdBoardDeviceCode",
       "32 bits wide"},
      {"token by name and number", "[pcd]\nPcdNic2BridgeLocation = 1\n\"203\" = 2", 2,
       "pcd.PcdNic2BridgeLocation", "already set"},
      {"auto on another token", "[pcd]\nPcdS3LibPrivateData = \"auto\"", 2,
       "pcd.PcdS3LibPrivateData", "not a decimal or 0x-prefixed hex number"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, FaultsAndBootSteps) {
  const ErrorCase cases[] = {
      {"call without a phase", "[[fault]]\ncall = \"AllocatePool\"", 2, "fault[0].call",
       "not a call of the form"},
      {"unknown phase", "[[fault]]\ncall = \"sec.AllocatePool\"", 2, "fault[0].call",
       "unknown phase"},
      {"service of another phase", "[[fault]]\ncall = \"pei.CreateEventEx\"", 2, "fault[0].call",
       "no pei service"},
      {"unknown interface", "[[fault]]\ncall = \"smm.EFI_SMM_SX_DISPATCH_PROTOCOL.Register\"", 2,
       "fault[0].call", "no interface"},
      {"image without instance", "[[fault]]\ncall = \"dxe.GetVariable\"\nimage = \"BoardInfoDxe\"",
       3, "fault[0].image", "which instance"},
      {"instances count from 1", "[[fault]]\ncall = \"dxe.GetVariable\"\nimage = \"S3SaveSmm#0\"",
       3, "fault[0].image", "which instance"},
      {"unknown status", "[[fault]]\ncall = \"dxe.GetVariable\"\nstatus = \"EFI_NOT_FOUNDD\"", 3,
       "fault[0].status", "unknown value"},
      {"success status", "[[fault]]\ncall = \"dxe.GetVariable\"\nstatus = \"EFI_SUCCESS\"", 3,
       "fault[0].status", "nothing fail"},
      {"nth zero", "[[fault]]\ncall = \"dxe.GetVariable\"\nnth = 0", 3, "fault[0].nth",
       "out of range"},
      {"step without action", "[[boot]]\n", 1, "boot[0]", "no action key"},
      {"step with two actions", "[[boot]]\ndispatch = \"S3SaveSmm\"\nsignal = \"ready_to_boot\"", 3,
       "boot[0].signal", "two action keys"},
      {"unknown module", "[[boot]]\ndispatch = \"BoardInfoSmm\"", 2, "boot[0].dispatch",
       "unknown value"},
      {"unknown PPI", "[[boot]]\npei_install = \"EFI_PEI_SMBUS_PPI\"", 2, "boot[0].pei_install",
       "unknown value"},
      {"unknown protocol", "[[boot]]\ndxe_install = \"PLATFORM_PROTOCOL\"", 2,
       "boot[0].dxe_install", "no protocol called"},
      {"slot past the protocol", "[[boot]]\ncall = \"BOARD_INFO_PROTOCOL.12\"", 2, "boot[0].call",
       "no slot 12"},
      {"entry past the PPI", "[[boot]]\ncall = \"BOARD_INFO_PPI.10\"", 2, "boot[0].call",
       "no slot 10"},
      {"unknown call", "[[boot]]\ncall = \"GetMacAddresses\"", 2, "boot[0].call", "unknown call"},
      {"buffer on another action", "[[boot]]\nsmi = \"s5_entry\"\nbuffer2 = \"00\"", 3,
       "boot[0].buffer2", "call steps only"},
      {"S3 table too small", "[[boot]]\nbuild_s3_table = { size = 47 }", 2,
       "boot[0].build_s3_table.size", "48-byte header"},
      {"boundary outside the table",
       "[[boot]]\nbuild_s3_table = { size = 64, boundary_offset = 61 }", 2,
       "boot[0].build_s3_table.boundary_offset", "outside the 64-byte table"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

TEST(BoardErrors, AllErrorsAreReportedTogetherInFileOrder) {
  const std::vector<BoardError> errors = MustFail(R"([[boot]]
dispatch = "Nope"
[cpu]
dr2 = "x"
[[pci]]
kind = "nic"
[pcd]
PcdNicFunctionLayout = 256
)");
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0].key, "boot[0].dispatch");
  EXPECT_EQ(errors[1].key, "cpu.dr2");
  EXPECT_EQ(errors[2].key, "pci[0].bdf");
  EXPECT_EQ(errors[3].key, "pcd.PcdNicFunctionLayout");
  for (size_t i = 1; i < errors.size(); ++i)
    EXPECT_LT(errors[i - 1].line, errors[i].line);
}

TEST(BoardErrors, HintsSuggestTheClosestNameOnlyWhenOneIsClose) {
  auto hintFor = [](std::string_view text) { return MustFail(text).at(0).hint; };
  EXPECT_EQ(hintFor("[smm]\nhob_lsit = true"), "did you mean `hob_list`?");
  EXPECT_EQ(hintFor("[[boot]]\ndispatch = \"s3savesmm\""), "did you mean `S3SaveSmm`?");
  EXPECT_EQ(hintFor("[pcd]\nPcdBoardFixedByt = 1"), "did you mean `PcdBoardFixedByte`?");
  // Nothing is close: the hint lists the choices instead of guessing.
  const std::string hint = hintFor("[bmc]\nnot_ready = \"timeout\"");
  EXPECT_EQ(hint.find("did you mean"), std::string::npos);
  EXPECT_NE(hint.find("`error`"), std::string::npos);
  EXPECT_NE(hint.find("`size2`"), std::string::npos);
}

TEST(BoardErrors, SyntaxErrorsAndFilesThatCannotBeRead) {
  const std::vector<BoardError> syntax = MustFail("name = \"x\"\n[cpu\ndr2 = 1", "b.toml");
  ASSERT_EQ(syntax.size(), 1u);
  EXPECT_EQ(syntax[0].line, 2u);
  EXPECT_NE(syntax[0].message.find("not valid TOML"), std::string::npos);

  const LoadResult missing = LoadBoardFile("/nonexistent/dir/board.toml");
  EXPECT_FALSE(missing.board.has_value());
  ASSERT_EQ(missing.errors.size(), 1u);
  EXPECT_EQ(missing.errors[0].file, "/nonexistent/dir/board.toml");
  EXPECT_NE(missing.errors[0].message.find("cannot open"), std::string::npos);
}

TEST(BoardErrors, LoadBoardFileReadsTheFileAndNamesItInErrors) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("board-test-" + std::to_string(::getpid()) + ".toml");
  std::ofstream(path) << "description = \"from disk\"\n[smm]\nin_smm = \"yes\"\n";
  const LoadResult bad = LoadBoardFile(path.string());
  ASSERT_EQ(bad.errors.size(), 1u);
  EXPECT_EQ(bad.errors[0].ToString(),
            path.string() + ":3: smm.in_smm: expected true or false, found a string (hint: write "
                            "true or false without quotes)");

  std::ofstream(path) << "description = \"from disk\"\n";
  const LoadResult good = LoadBoardFile(path.string());
  std::filesystem::remove(path);
  ASSERT_TRUE(good.board.has_value());
  EXPECT_EQ(good.board->description, "from disk");
  EXPECT_EQ(good.board->name, path.stem().string());
}

TEST(BoardErrors, ExpectationEntries) {
  const ErrorCase cases[] = {
      {"no kind", "[[expect]]\ncount = 1", 1, "expect[0]", "has no kind key"},
      {"two kinds", "[[expect]]\noutcome = \"halted\"\nerror_stops = [1]", 1, "expect[0]",
       "two kind keys, `outcome` and `error_stops`"},
      {"modifier of another kind", "[[expect]]\noutcome = \"halted\"\ncount = 2", 3,
       "expect[0].count", "does not apply to `outcome`"},
      {"unknown outcome", "[[expect]]\noutcome = \"hung\"", 2, "expect[0].outcome",
       "unknown value \"hung\""},
      {"unknown event kind", "[[expect]]\nevent = { ev = \"faults\" }", 2, "expect[0].event.ev",
       "no event called \"faults\""},
      {"event without ev", "[[expect]]\nevent = { what = \"x\" }", 2, "expect[0].event.ev",
       "required key `ev`"},
      {"short MAC", "[[expect]]\nmacs = [\"0102\"]", 2, "expect[0].macs[0]", "6 bytes"},
      {"unknown PCD", "[[expect]]\npcd = { PcdNic1Bridge = 1 }", 2, "expect[0].pcd.PcdNic1Bridge",
       "unknown PCD token"},
      {"field the kind lacks", "[[expect]]\nsmbus = { adress = 0x50 }", 2, "expect[0].smbus.adress",
       "unknown key"},
      {"never against count", "[[expect]]\nevent = { ev = \"fault\" }\ncount = 2\nnever = true", 4,
       "expect[0].never", "contradicts `count`"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

// Windows no single key shows wrong: explicit BARs and memory-mapped UARTs over each other, the
// configuration window or board memory.
TEST(BoardErrors, OverlappingDeviceWindows) {
  const std::string nic = "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nbar0 = 0xC0000000\n";
  const ErrorCase cases[] = {
      {"two BARs", nic + "[[pci]]\nbdf = \"02:00.0\"\nkind = \"nic\"\nbar0 = 0xC1000000", 5,
       "pci[1].bar0", "overlaps BAR0 of 01:00.0"},
      {"UART inside a BAR", nic + "[[uart]]\nbase = 0xC0001000", 5, "uart[0].base",
       "the UART at 0xC0001000 overlaps BAR0 of 01:00.0"},
      {"UART in the configuration window", "[[uart]]\nbase = 0xF0008000", 1, "uart[0].base",
       "overlaps the PCI configuration window"},
      {"BAR over board memory", "[[pci]]\nbdf = \"01:00.0\"\nbar0 = 0x10400000", 1, "pci[0].bar0",
       "overlaps board memory"},
      {"BAR over SMRAM", "[[pci]]\nbdf = \"01:00.0\"\nbar0 = 0x20100000", 1, "pci[0].bar0",
       "overlaps SMRAM"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
  MustParse("[smm]\nsmram_size = 0x100000\n[[pci]]\nbdf = \"01:00.0\"\nbar0 = 0x20100000");
}

// Values the simulator cannot give a board are refused where they are written.
TEST(BoardErrors, ValuesTheSimulatorCannotGive) {
  const std::string big = "[[heap]]\nhandle = 1\nsize = 0xFFFFFF\nhob_length = 48\n";
  const ErrorCase cases[] = {
      {"marker over the header's offset fields",
       "[[boot]]\nbuild_s3_table = { boundary_offset = 30 }", 2,
       "boot[0].build_s3_table.boundary_offset", "would overwrite the header's offset fields"},
      {"HOB list beyond the platform pool", "[[heap]]\nhandle = 0\n" + big, 3, "heap[1]",
       "the HOB list reaches"},
      {"no SMRAM", "[smm]\nsmram_size = 0", 2, "smm.smram_size", "out of range"},
      {"beyond the SMRAM window", "[smm]\nsmram_size = 0x80000000", 2, "smm.smram_size",
       "out of range"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
}

// The SMRAM map a board describes must be one a platform could report: split offsets inside the
// SMRAM and in order, further ranges page-aligned, in the SMRAM window and apart from the rest.
TEST(BoardErrors, SmramMapsNoPlatformCouldReport) {
  const std::string range = "[[smm.smram_range]]\nbase = 0x60000000\nsize = 0x10000\n";
  const ErrorCase cases[] = {
      {"split beyond the SMRAM", "[smm]\nsmram_size = 0x100000\nsmram_split = [0x100000]", 3,
       "smm.smram_split[0]", "lies beyond the SMRAM"},
      {"splits out of order", "[smm]\nsmram_split = [0x2000, 0x1000]", 2, "smm.smram_split[1]",
       "does not follow the split before it"},
      {"range over the first SMRAM", "[[smm.smram_range]]\nbase = 0x20100000\nsize = 0x1000", 1,
       "smm.smram_range[0]", "overlaps the SMRAM at 0x20000000"},
      {"ranges over each other", range + "[[smm.smram_range]]\nbase = 0x6000F000\nsize = 0x1000", 4,
       "smm.smram_range[1]", "overlaps the range at 0x60000000 (line 1)"},
      {"range not page-aligned", "[[smm.smram_range]]\nbase = 0x60000800\nsize = 0x1000", 1,
       "smm.smram_range[0]", "multiples of 4 KiB"},
      {"range beyond the window", "[[smm.smram_range]]\nbase = 0x7FFF0000\nsize = 0x1000", 1,
       "smm.smram_range[0]", "must lie in the SMRAM window"},
      {"BAR over a further range", range + "[[pci]]\nbdf = \"01:00.0\"\nbar0 = 0x60000000", 4,
       "pci[0].bar0", "overlaps SMRAM (0x60000000-0x6000FFFF)"},
  };
  for (const ErrorCase &c : cases)
    ExpectSingleError(c);
  MustParse("[smm]\nsmram_split = [0x1000, 0x2000]\n" + range);
}

TEST(BoardWarnings, BootScriptsThatTestNothing) {
  const LoadResult none = ParseBoardText("[[boot]]\nsignal = \"ready_to_boot\"", "w.toml");
  ASSERT_TRUE(none.board);
  ASSERT_EQ(none.warnings.size(), 1u);
  EXPECT_EQ(none.warnings[0].key, "boot");
  EXPECT_NE(none.warnings[0].message.find("dispatches no module"), std::string::npos);

  const LoadResult early = ParseBoardText("[[boot]]\ncall = \"BOARD_INFO_PPI.1\"\n"
                                          "[[boot]]\ndispatch = \"BoardInfoPei\"\n"
                                          "[[boot]]\ncall = \"BOARD_INFO_PPI.1\"",
                                          "w.toml");
  ASSERT_TRUE(early.board);
  ASSERT_EQ(early.warnings.size(), 1u);
  EXPECT_EQ(early.warnings[0].line, 1u);
  EXPECT_NE(early.warnings[0].message.find("calls into BoardInfoPei"), std::string::npos);

  EXPECT_TRUE(ParseBoardText("", "default.toml").warnings.empty()); // the default script
}

TEST(BoardErrors, ToStringShowsOnlyTheKnownParts) {
  EXPECT_EQ((BoardError{"a.toml", 7, 3, "pci[2].bdf", "bad", "fix it"}.ToString()),
            "a.toml:7: pci[2].bdf: bad (hint: fix it)");
  EXPECT_EQ((BoardError{"a.toml", 0, 0, "", "unreadable", ""}.ToString()), "a.toml: unreadable");
}

} // namespace
} // namespace boardsim::test
