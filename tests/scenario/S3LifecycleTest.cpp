// The S3 save table's lifecycle through S3SaveSmm: the shared private record (created once,
// adopted by later images), locking at ready-to-lock, and closing at ready-to-boot with its
// checks, end mark, hand-over message and free; then every failure the set-up and the close
// can meet. Error stops are released by the probe where the run must go on past them; the
// library's messages are read back from the legacy UART, which printing sends them to as is.
#include "Scenario.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace boardsim::testing {
namespace {

constexpr uint32_t kPciExpressWindowMsr = 0xC0010058;
constexpr char kReadyToLock[] = "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL";
// S3_SAVE_COMMUNICATE_GUID 5C4061F0-D051-4F43-BC23-5E5E89B3CEC0 in memory order.
constexpr char kHandoverGuidBytes[] = "f061405c51d0434fbc235e5e89b3cec0";

// Printing on; the configurable serial channel has a UART of its own so that the legacy UART at
// 0x3F8 carries each message exactly once.
constexpr char kPrinting[] = R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x2F8
[[uart]]
base = 0x2F8
)";
constexpr char kProbe[] = "\n[cpu]\nerror_stop_probe = 1\n";
constexpr char kBuildTable[] = "\n[[boot]]\nbuild_s3_table = {}\n";
constexpr char kLock[] = "\n[[boot]]\ndxe_install = \"EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL\"\n";
constexpr char kReadyToBoot[] = "\n[[boot]]\nsignal = \"ready_to_boot\"\n";

std::string Board(std::initializer_list<std::string_view> parts) {
  std::string board;
  for (std::string_view part : parts)
    board += part;
  return board;
}

// A copy of the final event: a field that is missing reads as null instead of asserting.
std::string LegacyText(const Scenario &run) {
  return Final(run)["uart_text"]["1016"].get<std::string>();
}

// `bytes` bytes of `value`, little-endian, as the trace writes byte strings.
std::string LittleEndianHex(uint64_t value, int bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < bytes; ++i, value >>= 8) {
    hex.push_back(kDigits[(value >> 4) & 0xF]);
    hex.push_back(kDigits[value & 0xF]);
  }
  return hex;
}

// The event ids of the ready-to-lock event (no group) and the close-table event.
uint64_t ReadyToLockEventId(const Scenario &run) {
  return U64(run.First("event_create", Field("group", nullptr))["event"]);
}
uint64_t CloseTableEventId(const Scenario &run) {
  return U64(run.First("event_create", Field("group", kReadyToBootGroup))["event"]);
}

std::function<bool(const Json &)> Token(uint32_t token) {
  return Field("token", token);
}

// ---------------------------------------------------------------------------------------------
// The shared record

// The first image finds token 552 empty, reads the PCI Express window, creates a zeroed 16-byte
// record in SMRAM, publishes it, then arms ready-to-lock (signalled once at once, finding no
// protocol yet) and the ready-to-boot close-table event.
TEST(S3Record, FirstImageCreatesAndPublishesIt) {
  Scenario run(Board({kPrinting, kDispatchS3SaveSmm}));
  const long get = run.IndexOf("pcd_get", Token(552));
  const long window = run.IndexOf("msr", Field("index", kPciExpressWindowMsr));
  const long alloc = run.IndexOf("alloc", Field("size", 16));
  const long set = run.IndexOf("pcd_set", Token(552));
  const long lockEvent = run.IndexOf("event_create", Field("group", nullptr));
  const long lockNotify = run.IndexOf("protocol_notify", Field("name", kReadyToLock));
  const long lockSignal = run.IndexOf("event_signal");
  const long closeEvent = run.IndexOf("event_create", Field("group", kReadyToBootGroup));
  const long entry = run.IndexOf("entry");
  ASSERT_GE(get, 0);
  EXPECT_LT(get, window);
  EXPECT_LT(window, alloc);
  EXPECT_LT(alloc, set);
  EXPECT_LT(set, lockEvent);
  EXPECT_LT(lockEvent, lockNotify);
  EXPECT_LT(lockNotify, lockSignal);
  EXPECT_LT(lockSignal, closeEvent);
  EXPECT_LT(closeEvent, entry);

  EXPECT_EQ(run.events()[get]["value"], 0);
  const Json &record = run.events()[alloc];
  EXPECT_EQ(record["space"], "smram");
  EXPECT_EQ(run.events()[set]["value"], record["addr"]);
  EXPECT_EQ(run.Of("pcd_set").size(), 1u);
  EXPECT_EQ(Final(run)["s3_record"],
            Json({{"address", record["addr"]}, {"locked", 0}, {"closed", 0}, {"table_base", 0}}));

  for (long at : {lockEvent, closeEvent}) {
    EXPECT_EQ(run.events()[at]["type"], 0x200);
    EXPECT_EQ(run.events()[at]["tpl"], 8);
    EXPECT_EQ(run.events()[at]["status"], "EFI_SUCCESS");
  }
  EXPECT_EQ(run.events()[lockSignal]["event"], ReadyToLockEventId(run));
  // The signal ran the callback, which found no protocol and left the event armed.
  EXPECT_EQ(run.Of("notify", Field("event", ReadyToLockEventId(run))).size(), 1u);
  EXPECT_EQ(run.First("protocol_locate", Field("name", kReadyToLock))["status"], "EFI_NOT_FOUND");
  EXPECT_TRUE(run.Of("event_close").empty());

  EXPECT_EQ(LegacyText(run), kAllocationText);
  EXPECT_EQ(Final(run)["error_stops"], Json::array());
  EXPECT_EQ(Final(run)["images"][0]["status"], "EFI_SUCCESS");
}

// A second image finds the record in token 552 and adopts it: no record, no events, no message
// of its own. The table is closed once, by the first image's callback.
TEST(S3Record, SecondImageAdoptsItAndCreatesNothing) {
  Scenario run(
      Board({kPrinting, kDispatchS3SaveSmm, kDispatchS3SaveSmm, kBuildTable, kLock, kReadyToBoot}));
  const uint64_t record = U64(Final(run)["s3_record"]["address"]);
  const Json adopted = run.First("pcd_get", AllOf({Token(552), Field("image", "S3SaveSmm#2")}));
  ASSERT_FALSE(adopted.is_null());
  EXPECT_EQ(U64(adopted["value"]), record);

  EXPECT_EQ(run.Of("pcd_set").size(), 1u);
  EXPECT_EQ(run.Of("alloc", Field("size", 16)).size(), 1u);
  const std::vector<Json> created = run.Of("event_create");
  ASSERT_EQ(created.size(), 2u);
  for (const Json &e : created)
    EXPECT_EQ(e["image"], "S3SaveSmm#1");
  EXPECT_EQ(run.Of("protocol_notify", Field("name", kReadyToLock)).size(), 1u);

  const std::vector<Json> closeNotify = run.Of("notify", Field("event", CloseTableEventId(run)));
  ASSERT_EQ(closeNotify.size(), 1u);
  EXPECT_EQ(closeNotify[0]["image"], "S3SaveSmm#1");
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 1);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 1);
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText);
}

// ---------------------------------------------------------------------------------------------
// Ready-to-lock

// Installing the protocol runs the callback, which closes its event and locks the record; a
// later installation finds the event gone.
TEST(S3ReadyToLock, InstallationLocksTheRecordOnce) {
  Scenario run(Board({kPrinting, kDispatchS3SaveSmm, kLock, kLock}));
  const uint64_t lockEvent = ReadyToLockEventId(run);
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 1);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
  // Once by the signal in set-up, once at the first installation.
  EXPECT_EQ(run.Of("notify", Field("event", lockEvent)).size(), 2u);
  const std::vector<Json> closes = run.Of("event_close");
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(U64(closes[0]["event"]), lockEvent);
  EXPECT_GT(run.IndexOf("event_close"),
            run.IndexOf("protocol_install", Field("name", kReadyToLock)));
}

// Already installed when the image starts: the signal in set-up runs the callback, which finds
// the protocol and closes its event at once. The image keeps its record only at the end of
// set-up, so at that moment there is no record to lock, and the closed event never fires again.
TEST(S3ReadyToLock, ProtocolInstalledBeforeSetupIsHandledDuringSetup) {
  Scenario run(Board({kPrinting, kLock, kDispatchS3SaveSmm, kLock}));
  const uint64_t lockEvent = ReadyToLockEventId(run);
  const long close = run.IndexOf("event_close", Field("event", lockEvent));
  ASSERT_GE(close, 0);
  EXPECT_LT(close, run.IndexOf("event_create", Field("group", kReadyToBootGroup)));
  EXPECT_EQ(run.First("protocol_locate", Field("name", kReadyToLock))["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.Of("notify", Field("event", lockEvent)).size(), 1u);
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 0);
}

// ---------------------------------------------------------------------------------------------
// Closing the table at ready-to-boot

// The message is exactly 40 bytes: HeaderGuid, MessageLength 16, function 1, four zero bytes and
// the record's address. It reaches the handler with the table's end mark already written; then
// the record is closed and the table freed.
TEST(S3CloseTable, HandsOverTheRecordInOneMessage) {
  Scenario run(Board({kPrinting, kDispatchS3SaveSmm, kBuildTable, kLock, kReadyToBoot}));
  const uint64_t record = U64(Final(run)["s3_record"]["address"]);
  const uint64_t table = U64(run.First("s3_table_build")["address"]);
  const std::vector<Json> messages = run.Of("communicate");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["size"], 40);
  EXPECT_EQ(messages[0]["bytes"], kHandoverGuidBytes + LittleEndianHex(16, 8) +
                                      LittleEndianHex(1, 4) + LittleEndianHex(0, 4) +
                                      LittleEndianHex(record, 8));
  EXPECT_EQ(messages[0]["end_mark"], 0xFFFF);
  // Built in the buffer that token 553 names.
  EXPECT_EQ(run.First("pcd_get", Token(553))["value"], Final(run)["pcd"]["553"]);

  const long sent = run.IndexOf("communicate");
  const long freed = run.IndexOf("free", Field("addr", table));
  EXPECT_GT(freed, sent);
  EXPECT_EQ(Final(run)["s3_record"],
            Json({{"address", record}, {"locked", 1}, {"closed", 1}, {"table_base", table}}));
  EXPECT_EQ(Final(run)["s3_table"],
            Json({{"address", table}, {"freed", true}, {"end_mark", 0xFFFF}}));
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText);
  EXPECT_EQ(Final(run)["error_stops"], Json::array());
}

// The table is freed into the pool it was allocated from, decided by its address.
TEST(S3CloseTable, FreesTheTableIntoThePoolItCameFrom) {
  for (const char *memory : {"boot", "smram"}) {
    SCOPED_TRACE(memory);
    const std::string build =
        std::string("\n[[boot]]\nbuild_s3_table = { table_memory = \"") + memory + "\" }\n";
    Scenario run(Board({kDispatchS3SaveSmm, build, kReadyToBoot}));
    const uint64_t table = U64(run.First("s3_table_build")["address"]);
    const std::vector<Json> frees = run.Of("free", Field("addr", table));
    ASSERT_EQ(frees.size(), 1u);
    EXPECT_EQ(frees[0]["space"], memory);
    EXPECT_EQ(frees[0]["status"], "EFI_SUCCESS");
    EXPECT_EQ(Final(run)["s3_table"]["freed"], true);
  }
}

// The checks and the end mark follow the offsets in the table's header.
TEST(S3CloseTable, FollowsTheHeaderOffsets) {
  Scenario run(Board({kDispatchS3SaveSmm,
                      "\n[[boot]]\nbuild_s3_table = { size = 0x200, boundary_offset = 0x1F0, "
                      "terminator_offset = 0x102 }\n",
                      kReadyToBoot}));
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(Final(run)["s3_table"]["end_mark"], 0xFFFF);
  EXPECT_EQ(Final(run)["error_stops"], Json::array());
}

// The callback closes its own event first: a second ready-to-boot signal runs nothing.
TEST(S3CloseTable, SecondReadyToBootDoesNothing) {
  Scenario run(Board({kPrinting, kDispatchS3SaveSmm, kBuildTable, kReadyToBoot, kReadyToBoot}));
  EXPECT_EQ(run.Of("notify", Field("event", CloseTableEventId(run))).size(), 1u);
  EXPECT_EQ(run.Of("event_close", Field("event", CloseTableEventId(run))).size(), 1u);
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(run.Of("free").size(), 1u);
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText);
}

// Its CloseEvent fails, so the second signal runs the callback again: it returns at once, and the
// table is terminated, handed over and freed once.
TEST(S3CloseTable, RunsOnceWhenItsEventCannotBeClosed) {
  Scenario run(ExampleBoard("s3-close-table-once.toml"));
  EXPECT_EQ(run.Of("notify", Field("event", CloseTableEventId(run))).size(), 2u);
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  const std::vector<Json> frees = run.Of("free");
  ASSERT_EQ(frees.size(), 1u);
  EXPECT_EQ(frees[0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(frees[0]["addr"], run.First("s3_table_build")["address"]);
  const std::string text = Final(run)["uart_text"]["1016"].get<std::string>();
  EXPECT_EQ(text.find(kCloseTableText), text.rfind(kCloseTableText));
}

// No table was built: the callback says so and closes, sends and frees nothing.
TEST(S3CloseTable, WithoutATableNothingIsClosed) {
  Scenario run(Board({kPrinting, kDispatchS3SaveSmm, kReadyToBoot}));
  EXPECT_EQ(LegacyText(run),
            std::string(kAllocationText) + kCloseTableText + "mTarnS3LibPrivateData is NULL\n");
  EXPECT_TRUE(run.Of("pcd_get", Token(553)).empty());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_TRUE(run.Of("free").empty());
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
}

// ---------------------------------------------------------------------------------------------
// Table checks: a failed check stops, and (when the stop is released) leaves the table as it was

TEST(S3TableChecks, WrongSignatureStopsWithoutTouchingTheTable) {
  Scenario run(
      Board({kPrinting, kProbe, kDispatchS3SaveSmm,
             "\n[[boot]]\nbuild_s3_table = { signature = 0x54335342 }\n", kLock, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90672}));
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText +
                                 "TarnS3Lib table Signature check fail\n");
  EXPECT_TRUE(run.Of("pcd_get", Token(553)).empty());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_table"]["end_mark"], 0);
  EXPECT_EQ(Final(run)["s3_table"]["freed"], false);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 1);
}

TEST(S3TableChecks, MissingBoundaryMarkerStopsWithoutTouchingTheTable) {
  Scenario run(
      Board({kPrinting, kProbe, kDispatchS3SaveSmm,
             "\n[[boot]]\nbuild_s3_table = { boundary_value = 0x01558845 }\n", kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90677}));
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText +
                                 "TarnS3Lib table boundary check fail\n");
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_table"]["end_mark"], 0);
  EXPECT_EQ(Final(run)["s3_table"]["freed"], false);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
}

// On real hardware (no agent answers the probe) the stop is final.
TEST(S3TableChecks, UnreleasedStopHaltsTheBoot) {
  Scenario run(Board({kDispatchS3SaveSmm, "\n[[boot]]\nbuild_s3_table = { signature = 0 }\n",
                      kReadyToBoot, kLock}));
  EXPECT_TRUE(run.halted());
  EXPECT_EQ(Final(run)["outcome"], "halted");
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90672}));
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_TRUE(run.Of("protocol_install", Field("name", kReadyToLock)).empty())
      << "the boot went on after the stop";
}

// ---------------------------------------------------------------------------------------------
// Failures while closing

// The end mark goes in before the communication buffer is looked up: with token 553 at 0 the
// table is terminated but neither handed over nor freed.
TEST(S3CloseFailures, NoCommunicationBufferLeavesATerminatedTable) {
  Scenario run(Board({kPrinting, kProbe, "\n[pcd]\nPcdS3CommunicationBuffer = 0\n",
                      kDispatchS3SaveSmm, kBuildTable, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90821}));
  EXPECT_EQ(run.First("pcd_get", Token(553))["value"], 0);
  EXPECT_TRUE(run.Of("protocol_locate", Field("name", "EFI_SMM_COMMUNICATION_PROTOCOL")).empty());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_table"]["end_mark"], 0xFFFF);
  EXPECT_EQ(Final(run)["s3_table"]["freed"], false);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText);
}

TEST(S3CloseFailures, NoCommunicationProtocolSendsNothing) {
  Scenario run(Board({kPrinting, kProbe, "\n[services]\nEFI_SMM_COMMUNICATION_PROTOCOL = false\n",
                      kDispatchS3SaveSmm, kBuildTable, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90835}));
  EXPECT_EQ(run.First("protocol_locate", Field("name", "EFI_SMM_COMMUNICATION_PROTOCOL"))["status"],
            "EFI_NOT_FOUND");
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText +
                                 "TarnS3SaveLib locate SmmCommunicationProtocol fail \n");
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_table"]["end_mark"], 0xFFFF);
  EXPECT_EQ(Final(run)["s3_table"]["freed"], false);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
}

// ---------------------------------------------------------------------------------------------
// Failures during set-up

// A disabled PCI Express window stops, and set-up goes on when the stop is released.
TEST(S3SetupFailures, DisabledPciExpressWindowStopsThenSetupGoesOn) {
  Scenario run(
      Board({kPrinting, kProbe, "msr = { \"0xC0010058\" = 0xE0000020 }\n", kDispatchS3SaveSmm}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90869}));
  EXPECT_LT(run.IndexOf("msr", Field("index", kPciExpressWindowMsr)), run.IndexOf("pcd_set"));
  EXPECT_FALSE(Final(run)["s3_record"].is_null());
  EXPECT_EQ(run.Of("event_create").size(), 2u);
  EXPECT_EQ(LegacyText(run), kAllocationText);
  EXPECT_EQ(Final(run)["images"][0]["status"], "EFI_SUCCESS");
}

// The record's allocation (the second SMRAM allocation, after the SMRAM range table) fails:
// nothing is published and no event is armed.
TEST(S3SetupFailures, RecordAllocationFailureCreatesNothing) {
  Scenario run(Board({kPrinting, kProbe, R"(
[[fault]]
call = "smm.SmmAllocatePool"
nth = 2
)",
                      kDispatchS3SaveSmm, kBuildTable, kReadyToBoot}));
  const Json failed = run.First("alloc", Field("status", "EFI_OUT_OF_RESOURCES"));
  ASSERT_FALSE(failed.is_null());
  ASSERT_EQ(failed["size"], 16) << "the fault must hit the record's allocation";
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90875}));
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + "TarnS3LibPrivateData allocate fail\n");
  EXPECT_TRUE(run.Of("pcd_set").empty());
  EXPECT_TRUE(run.Of("event_create").empty());
  EXPECT_TRUE(Final(run)["s3_record"].is_null());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["images"][0]["status"], "EFI_SUCCESS");
}

// Without a ready-to-lock event set-up gives up: the record stays published, but the image keeps
// no record and arms no close-table event, so neither ready-to-lock nor ready-to-boot acts on it.
TEST(S3SetupFailures, ReadyToLockEventNotCreated) {
  Scenario run(Board({kPrinting, kProbe, R"(
[[fault]]
call = "dxe.CreateEvent"
)",
                      kDispatchS3SaveSmm, kBuildTable, kLock, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90898}));
  EXPECT_EQ(LegacyText(run),
            std::string(kAllocationText) + "TarnS3SaveLib create BootScriptLock Event fail\n");
  EXPECT_EQ(run.Of("pcd_set", Token(552)).size(), 1u);
  EXPECT_TRUE(run.Of("event_create", Field("status", "EFI_SUCCESS")).empty());
  EXPECT_TRUE(run.Of("notify").empty());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 0);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
}

// CreateEventEx failing: the stop, the message, and no record kept by the image, so even the
// ready-to-lock callback (whose event exists) has no record to lock.
TEST(S3SetupFailures, CloseTableEventErrorKeepsNoRecord) {
  Scenario run(Board({kPrinting, kProbe, R"(
[[fault]]
call = "dxe.CreateEventEx"
)",
                      kDispatchS3SaveSmm, kBuildTable, kLock, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90915}));
  EXPECT_EQ(LegacyText(run),
            std::string(kAllocationText) + "TarnS3SaveLib create CloseTable Event fail\n");
  const uint64_t lockEvent = ReadyToLockEventId(run);
  EXPECT_EQ(run.Of("event_close", Field("event", lockEvent)).size(), 1u)
      << "the ready-to-lock callback ran";
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 0);
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 0);
}

// A warning from CreateEventEx stops too, but counts as success: the lifecycle runs to the end.
TEST(S3SetupFailures, CloseTableEventWarningCountsAsSuccess) {
  Scenario run(Board({kPrinting, kProbe, R"(
[[fault]]
call = "dxe.CreateEventEx"
status = "EFI_WARN_STALE_DATA"
)",
                      kDispatchS3SaveSmm, kBuildTable, kLock, kReadyToBoot}));
  EXPECT_EQ(Final(run)["error_stops"], Json::array({0x90915}));
  EXPECT_EQ(run.First("event_create", Field("group", kReadyToBootGroup))["status"],
            "EFI_WARN_STALE_DATA");
  EXPECT_EQ(LegacyText(run), std::string(kAllocationText) + kCloseTableText);
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(Final(run)["s3_record"]["locked"], 1);
  EXPECT_EQ(Final(run)["s3_record"]["closed"], 1);
}

} // namespace
} // namespace boardsim::testing
