// The PEI module's dispatch: the board information PPI, the two arrival notifications and when
// their callbacks run, the Setup byte that selects the mask PCD, and the fixed byte; then the
// answers of the PPI's entries as another PEIM sees them.
#include "Scenario.h"

#include "Engine/PeiLayout32.h"

#include <Pi/PiPei.h>

#include <cstdio>

namespace boardsim::testing {
namespace {

constexpr char kDispatchOnly[] = R"(
[[boot]]
dispatch = "BoardInfoPei"
)";

// Every device the two callbacks talk to, answering on the first try.
constexpr char kAnsweringBoard[] = R"(
[[smbus]]
address = 0x71
[[smbus]]
address = 0x3A
regs = { 0 = 0xA5 }
[[smbus]]
address = 0x3B
regs = { 0 = 0x3C }
[[smbus]]
address = 0x3E
regs = { 0 = 0x28 }
[[smbus]]
address = 0x74
[[smbus]]
address = 0x33
regs = { 7 = 1, 5 = 0x2A }
)";

constexpr char kSmbusBeforeTablesAfter[] = R"(
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
)";

const std::string kFixedByte = "278 = 0x12/8";
const std::string kSetupMask = "279 = 0xff0000ff00/64";

// "token = 0xvalue/width" for each PCD write, in order.
std::vector<std::string> PcdWrites(const Scenario &run) {
  std::vector<std::string> writes;
  for (const Json &e : run.Of("pcd_set"))
    writes.push_back(std::to_string(e["token"].get<uint64_t>()) + " = 0x" + HexByte(e["value"]) +
                     "/" + std::to_string(e["width"].get<int>()));
  return writes;
}

std::string EntryStatus(const Scenario &run) {
  const Json &images = run.final()["images"];
  return images.empty() ? "" : images[0]["status"].get<std::string>();
}

// One line per service call of the module's dispatch, in order.
std::vector<std::string> DispatchStory(const Scenario &run) {
  std::vector<std::string> lines;
  for (const Json &e : run.events()) {
    if (e["image"] != "BoardInfoPei#1")
      continue;
    const std::string ev = e["ev"];
    std::string name = e.contains("name") && e["name"].is_string() ? e["name"] : "";
    if (ev == "alloc")
      lines.push_back("alloc " + e["space"].get<std::string>() + " " +
                      std::to_string(e["size"].get<uint64_t>()) + " " +
                      e["status"].get<std::string>());
    else if (ev == "ppi_install")
      lines.push_back("install " + name);
    else if (ev == "ppi_notify")
      lines.push_back("notify on " + name);
    else if (ev == "notify")
      lines.push_back("callback " + name);
    else if (ev == "ppi_locate")
      lines.push_back("locate " + name + " " + e["status"].get<std::string>());
    else if (ev == "variable_get")
      lines.push_back("get " + name + " " + std::to_string(e["size_in"].get<uint64_t>()) + " " +
                      e["status"].get<std::string>());
    else if (ev == "pcd_set")
      lines.push_back("set " + std::to_string(e["token"].get<uint64_t>()) + " = 0x" +
                      HexByte(e["value"]));
    else if (ev == "entry")
      lines.push_back("entry " + e["status"].get<std::string>());
  }
  return lines;
}

TEST(PeiEntry, DispatchPublishesRegistersReadsSetupAndWritesFixedByte) {
  Scenario run(kDispatchOnly);
  // The pool holds the PPI descriptor at the module's own width.
  const size_t descriptor =
      run.engine() == Engine::Image ? sizeof(ia32::PpiDescriptor) : sizeof(EFI_PEI_PPI_DESCRIPTOR);
  EXPECT_EQ(DispatchStory(run), (std::vector<std::string>{
                                    "alloc pei " + std::to_string(descriptor) + " EFI_SUCCESS",
                                    "install BOARD_INFO_PPI",
                                    "notify on EFI_PEI_SMBUS2_PPI",
                                    "notify on BOARD_TABLE_APPLY_PPI",
                                    "locate EFI_PEI_READ_ONLY_VARIABLE2_PPI EFI_SUCCESS",
                                    "get Setup 589 EFI_SUCCESS",
                                    "locate PCD_PPI EFI_SUCCESS",
                                    "set 278 = 0x12",
                                    "entry EFI_SUCCESS",
                                }));
  ASSERT_EQ(run.Of("variable_get").size(), 1u);
  EXPECT_EQ(run.First("variable_get")["guid"], "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9");
  EXPECT_FALSE(run.final()["pcd"].contains("279"));
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(PeiEntry, SetupByte584SelectsTheMask) {
  struct Case {
    const char *setup;
    bool selected;
  };
  const Case cases[] = {
      {"bytes = { 584 = 1 }", true},
      {"bytes = { 584 = 0x80 }", true},
      {"bytes = { 583 = 0xFF, 585 = 0xFF, 588 = 0xFF }", false},
      {"size = 585\nbytes = { 584 = 1 }", true},
      {"size = 584\nbytes = { 583 = 0xFF }", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.setup);
    Scenario run(std::string("[setup]\n") + c.setup + "\n" + kDispatchOnly);
    EXPECT_EQ(run.First("variable_get")["status"], "EFI_SUCCESS");
    std::vector<std::string> expected = {kFixedByte};
    if (c.selected)
      expected.insert(expected.begin(), kSetupMask);
    EXPECT_EQ(PcdWrites(run), expected);
    EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// Whatever keeps Setup from being read, the mask stays unwritten and the fixed byte is written.
TEST(PeiEntry, UnreadableSetupLeavesTheMaskAlone) {
  struct Case {
    const char *board;
    const char *read;
  };
  const Case cases[] = {
      {"[setup]\npresent = false", "EFI_NOT_FOUND"},
      {"[setup]\nsize = 590\nbytes = { 584 = 1 }", "EFI_BUFFER_TOO_SMALL"},
      {"[setup]\nbytes = { 584 = 1 }\n[services]\nEFI_PEI_READ_ONLY_VARIABLE2_PPI = false",
       nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.board);
    Scenario run(std::string(c.board) + "\n[pcd]\nPcdBoardSetupMask = 7\n" + kDispatchOnly);
    std::vector<Json> reads = run.Of("variable_get");
    if (c.read) {
      ASSERT_EQ(reads.size(), 1u);
      EXPECT_EQ(reads[0]["status"], c.read);
      EXPECT_EQ(reads[0]["size_in"], 589);
    } else {
      EXPECT_TRUE(reads.empty());
      EXPECT_EQ(run.First("ppi_locate", Field("name", "EFI_PEI_READ_ONLY_VARIABLE2_PPI"))["status"],
                "EFI_NOT_FOUND");
    }
    EXPECT_EQ(PcdWrites(run), std::vector<std::string>{kFixedByte});
    EXPECT_EQ(run.final()["pcd"]["279"], 7);
    EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// Without the pool descriptor the PPI is not published, and nothing else changes.
TEST(PeiEntry, PoolFailureSkipsOnlyThePpi) {
  Scenario run(std::string(kAnsweringBoard) + R"(
[setup]
bytes = { 584 = 1 }
[[fault]]
call = "pei.AllocatePool"
)" + kSmbusBeforeTablesAfter +
               R"(
[[boot]]
call = "BOARD_INFO_PPI.4"
)");
  EXPECT_EQ(run.First("alloc")["status"], "EFI_OUT_OF_RESOURCES");
  EXPECT_TRUE(run.Of("ppi_install", Field("name", "BOARD_INFO_PPI")).empty());
  EXPECT_EQ(run.Of("ppi_notify").size(), 2u);
  EXPECT_EQ(run.Of("notify").size(), 2u);
  EXPECT_EQ(PcdWrites(run), (std::vector<std::string>{"195 = 0x1265/32", "196 = 0x05/8", kSetupMask,
                                                      kFixedByte, "232 = 0x12a/32"}));
  EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
  EXPECT_EQ(run.final()["images"][0]["unloaded"], false);
  EXPECT_EQ(run.Faults(),
            std::vector<std::string>{"BOARD_INFO_PPI.4: BOARD_INFO_PPI is not installed"});
}

TEST(PeiEntry, FailedInstallationAndRegistrationAreIgnored) {
  Scenario run(std::string(kAnsweringBoard) + R"(
[setup]
bytes = { 584 = 1 }
[[fault]]
call = "pei.InstallPpi"
target = "BOARD_INFO_PPI"
[[fault]]
call = "pei.NotifyPpi"
target = "EFI_PEI_SMBUS2_PPI"
)" + kSmbusBeforeTablesAfter);
  EXPECT_TRUE(run.Of("ppi_install", Field("name", "BOARD_INFO_PPI")).empty());
  std::vector<Json> registered = run.Of("ppi_notify");
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0]["name"], "BOARD_TABLE_APPLY_PPI");
  EXPECT_TRUE(run.Of("ipmi").empty());
  EXPECT_EQ(PcdWrites(run), (std::vector<std::string>{kSetupMask, kFixedByte, "232 = 0x12a/32"}));
  EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// Each write looks the PCD service up again; without it the writes are skipped and the rest of
// the work still happens.
TEST(PeiEntry, EveryPcdWriteLooksUpThePcdService) {
  {
    SCOPED_TRACE("PCD_PPI present");
    Scenario run(std::string(kAnsweringBoard) + "[setup]\nbytes = { 584 = 1 }\n" +
                 kSmbusBeforeTablesAfter);
    std::vector<Json> writes = run.Of("pcd_set");
    EXPECT_EQ(writes.size(), 5u);
    EXPECT_EQ(run.Of("ppi_locate", Field("name", "PCD_PPI")).size(), writes.size());
    for (const Json &write : writes) {
      const Json &before = run.events()[write["seq"].get<size_t>() - 1];
      EXPECT_EQ(before["ev"], "ppi_locate") << write.dump();
      EXPECT_EQ(before["name"], "PCD_PPI") << write.dump();
    }
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
  {
    SCOPED_TRACE("PCD_PPI missing");
    Scenario run(std::string(kAnsweringBoard) + "[setup]\nbytes = { 584 = 1 }\n" +
                 "[services]\nPCD_PPI = false\n" + kSmbusBeforeTablesAfter);
    EXPECT_TRUE(run.Of("pcd_set").empty());
    std::vector<Json> lookups = run.Of("ppi_locate", Field("name", "PCD_PPI"));
    EXPECT_EQ(lookups.size(), 5u);
    for (const Json &e : lookups)
      EXPECT_EQ(e["status"], "EFI_NOT_FOUND");
    EXPECT_EQ(run.Of("smbus").size(), 9u);
    EXPECT_EQ(run.Of("table_apply").size(), 3u);
    EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0);
    EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// A PPI that exists before dispatch has its callback run inside the registration, before the
// next registration and before Setup is read.
TEST(PeiEntry, CallbacksRunNestedWhenTheirPpiIsAlreadyInstalled) {
  Scenario run(std::string(kAnsweringBoard) + R"(
[setup]
bytes = { 584 = 1 }
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
[[boot]]
dispatch = "BoardInfoPei"
)");
  const long order[] = {
      run.IndexOf("ppi_notify", Field("name", "EFI_PEI_SMBUS2_PPI")),
      run.IndexOf("notify", Field("name", "EFI_PEI_SMBUS2_PPI")),
      run.IndexOf("pcd_set", Field("token", 196)),
      run.IndexOf("notify_return", Field("name", "EFI_PEI_SMBUS2_PPI")),
      run.IndexOf("ppi_notify", Field("name", "BOARD_TABLE_APPLY_PPI")),
      run.IndexOf("notify", Field("name", "BOARD_TABLE_APPLY_PPI")),
      run.IndexOf("pcd_set", Field("token", 232)),
      run.IndexOf("notify_return", Field("name", "BOARD_TABLE_APPLY_PPI")),
      run.IndexOf("variable_get"),
      run.IndexOf("pcd_set", Field("token", 279)),
      run.IndexOf("pcd_set", Field("token", 278)),
      run.IndexOf("entry"),
  };
  for (size_t i = 0; i < std::size(order); ++i) {
    EXPECT_GE(order[i], 0) << "step " << i << " missing";
    if (i > 0)
      EXPECT_LT(order[i - 1], order[i]) << "step " << i << " out of order";
  }
  EXPECT_EQ(run.Of("notify").size(), 2u);
  for (const Json &e : run.Of("notify"))
    EXPECT_EQ(e["image"], "BoardInfoPei#1");
  EXPECT_EQ(EntryStatus(run), "EFI_SUCCESS");
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// A PPI that arrives after dispatch has its callback run at its installation, once.
TEST(PeiEntry, CallbacksRunOnceWhenTheirPpiArrivesLater) {
  Scenario run(std::string(kAnsweringBoard) + R"(
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
)");
  long entry = run.IndexOf("entry");
  long smbusInstalled = run.IndexOf("ppi_install", Field("name", "EFI_PEI_SMBUS2_PPI"));
  long applyInstalled = run.IndexOf("ppi_install", Field("name", "BOARD_TABLE_APPLY_PPI"));
  long probe = run.IndexOf("notify", Field("name", "EFI_PEI_SMBUS2_PPI"));
  long handOver = run.IndexOf("notify", Field("name", "BOARD_TABLE_APPLY_PPI"));
  EXPECT_LT(entry, smbusInstalled);
  EXPECT_EQ(probe, smbusInstalled + 1);
  EXPECT_LT(run.IndexOf("notify_return", Field("name", "EFI_PEI_SMBUS2_PPI")), applyInstalled);
  EXPECT_EQ(handOver, applyInstalled + 1);
  EXPECT_EQ(run.Of("notify").size(), 2u);
  EXPECT_EQ(run.Of("ppi_notify").size(), 2u);
  EXPECT_EQ(PcdWrites(run), (std::vector<std::string>{kFixedByte, "195 = 0x1265/32", "196 = 0x05/8",
                                                      "232 = 0x12a/32"}));
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// --- BOARD_INFO_PPI as another PEIM calls it ---

const std::string kUntouched16 = std::string(32, 'a');

// Runs one call of an entry after the module's dispatch; the buffers are optional TOML lines.
Scenario CallEntry(int entry, const std::string &buffers = "") {
  return Scenario(std::string(kDispatchOnly) + "[[boot]]\ncall = \"BOARD_INFO_PPI." +
                  std::to_string(entry) + "\"\n" + buffers + "\n");
}

// The events between a call step and its return: what the entry itself caused.
std::vector<Json> DuringCall(const Scenario &run) {
  long call = run.IndexOf("call");
  long done = run.IndexOf("return");
  EXPECT_GE(call, 0);
  EXPECT_GT(done, call);
  if (call < 0 || done < call)
    return {};
  return {run.events().begin() + call + 1, run.events().begin() + done};
}

// Fixed answers: no hardware, PCD or variable access while an entry runs.
void ExpectOnlyThePpiLookup(const Scenario &run) {
  std::vector<Json> during = DuringCall(run);
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0]["ev"], "ppi_locate");
  EXPECT_EQ(during[0]["name"], "BOARD_INFO_PPI");
}

TEST(BoardInfoPpi, QueryEntriesAnswerConstantsAndTouchNothing) {
  struct Case {
    int entry;
    uint64_t value;
  };
  const Case cases[] = {{0, 0}, {4, 1}, {7, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE("entry " + std::to_string(c.entry));
    Scenario run = CallEntry(c.entry);
    Json returned = run.First("return");
    EXPECT_EQ(returned["value"], c.value);
    EXPECT_EQ(returned["buffer1"], kUntouched16);
    EXPECT_EQ(returned["buffer2"], kUntouched16);
    ExpectOnlyThePpiLookup(run);
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

TEST(BoardInfoPpi, RecordEntryWritesFourRecordBytesAndTheFlag) {
  Scenario run = CallEntry(3, "buffer1 = \"AAAAAAAAAAAAAAAA\"\nbuffer2 = \"AAAAAAAA\"");
  Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["value"], 0);
  EXPECT_EQ(returned["buffer1"], "541b0101aaaaaaaa");
  EXPECT_EQ(returned["buffer2"], "01aaaaaa");
  ExpectOnlyThePpiLookup(run);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(BoardInfoPpi, FlagsEntrySetsFiveBytes) {
  Scenario run = CallEntry(6, "buffer1 = \"AAAAAAAAAAAAAAAA\"\nbuffer2 = \"AAAAAAAA\"");
  Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["value"], 0);
  EXPECT_EQ(returned["buffer1"], "0101010101aaaaaa");
  EXPECT_EQ(returned["buffer2"], "aaaaaaaa");
  ExpectOnlyThePpiLookup(run);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// A missing output buffer is refused before anything is written to the other one.
TEST(BoardInfoPpi, NullOutputPointerIsRefusedWithoutWriting) {
  struct Case {
    int entry;
    const char *buffers;
    Json buffer1, buffer2;
  };
  const Case cases[] = {
      {3, "buffer1 = \"null\"", nullptr, kUntouched16},
      {3, "buffer2 = \"null\"", kUntouched16, nullptr},
      {6, "buffer1 = \"null\"", nullptr, kUntouched16},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("entry " + std::to_string(c.entry) + " " + c.buffers);
    Scenario run = CallEntry(c.entry, c.buffers);
    Json returned = run.First("return");
    EXPECT_EQ(returned["status"], "EFI_INVALID_PARAMETER");
    EXPECT_EQ(returned["buffer1"], c.buffer1);
    EXPECT_EQ(returned["buffer2"], c.buffer2);
    ExpectOnlyThePpiLookup(run);
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

TEST(BoardInfoPpi, ReservedEntriesAreNull) {
  for (int entry : {1, 2, 5, 8, 9}) {
    SCOPED_TRACE("entry " + std::to_string(entry));
    Scenario run = CallEntry(entry);
    std::vector<Json> during = DuringCall(run);
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[1]["ev"], "fault");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{"call through a null interface pointer"});
    EXPECT_TRUE(run.First("return")["value"].is_null());
  }
}

} // namespace
} // namespace boardsim::testing
