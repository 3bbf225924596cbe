// Start-up of the S3 save SMM driver through the simulator: the order of its set-up steps, the S5
// and power-button registrations, the result the entry point keeps, the teardown after a failing
// body, the SMRAM range table behind ReleasePool, and the cached PCD_PROTOCOL lookup.
#include "Scenario.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim::testing {
namespace {

constexpr uint32_t kNoPrivateRecord = 0x90875;
constexpr uint32_t kHeapListNotInstalled = 0x70268;
// One 32-byte EFI_SMRAM_DESCRIPTOR: the board's one SMRAM range (the image lies inside it).

// After the load: a table for the shared record, then ready-to-lock and ready-to-boot, whose
// callback frees the table after its hand-over.
std::string TableHandOver(const std::string &memory) {
  return R"(
[[boot]]
build_s3_table = { table_memory = ")" +
         memory + R"(" }
[[boot]]
dxe_install = "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"
[[boot]]
signal = "ready_to_boot"
)";
}

std::function<bool(const Json &)> Named(const std::string &name) {
  return Field("name", name);
}

std::function<bool(const Json &)> ByImage(const std::string &image) {
  return Field("image", image);
}

std::vector<std::string> Statuses(const std::vector<Json> &events) {
  std::vector<std::string> statuses;
  for (const Json &e : events)
    statuses.push_back(e["status"]);
  return statuses;
}

std::vector<uint64_t> Sizes(const std::vector<Json> &allocations) {
  std::vector<uint64_t> sizes;
  for (const Json &e : allocations)
    sizes.push_back(e["size"]);
  return sizes;
}

// The image's entry result and whether the core unloaded it.
void ExpectEntry(const Scenario &run, const std::string &status, bool unloaded) {
  ASSERT_EQ(run.final()["images"].size(), 1u);
  EXPECT_EQ(run.final()["images"][0]["status"], status);
  EXPECT_EQ(run.final()["images"][0]["unloaded"], unloaded);
  EXPECT_EQ(run.First("entry")["status"], status);
  EXPECT_EQ(run.Of("unload").size(), unloaded ? 1u : 0u);
}

// The teardown of a failed body: the two events of the S3 save library closed in creation order,
// the S3 record withdrawn (token 552 back to 0, the record freed), then the SMRAM range table freed
// into the SMRAM pool, then the heap-list protocol withdrawn.
void ExpectTeardown(const Scenario &run) {
  const std::vector<Json> created = run.Of("event_create", ByImage("S3SaveSmm#1"));
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0]["group"], nullptr);
  EXPECT_EQ(created[1]["group"], kReadyToBootGroup);
  const std::vector<Json> closed = run.Of("event_close");
  ASSERT_EQ(closed.size(), 2u);
  EXPECT_EQ(closed[0]["event"], created[0]["event"]);
  EXPECT_EQ(closed[1]["event"], created[1]["event"]);

  const Json table = run.First("alloc", Field("space", "smram"));
  EXPECT_EQ(table["size"], kSmramRangeTableSize);
  const Json record = run.First("alloc", Field("size", 16));
  const std::vector<Json> freed = run.Of("free");
  ASSERT_EQ(freed.size(), 2u);
  EXPECT_EQ(freed[0]["addr"], record["addr"]);
  EXPECT_EQ(freed[1]["addr"], table["addr"]);
  for (const Json &free : freed) {
    EXPECT_EQ(free["space"], "smram");
    EXPECT_EQ(free["status"], "EFI_SUCCESS");
  }
  const std::vector<Json> published = run.Of("pcd_set", Field("token", 552));
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[1]["value"], 0);

  const long lastClose = run.IndexOf("event_close", Field("event", created[1]["event"]));
  const long free = run.IndexOf("free", Field("addr", table["addr"]));
  const long uninstall = run.IndexOf("protocol_uninstall", Named("SMM_HEAP_LIST_PROTOCOL"));
  EXPECT_LT(run.IndexOf("event_close"), lastClose);
  EXPECT_LT(lastClose, free);
  EXPECT_LT(free, uninstall);
  EXPECT_LT(uninstall, run.IndexOf("entry"));
  EXPECT_EQ(run.final()["heap_list"], nullptr);
}

TEST(SmmStartupOrder, SetUpStepsRunInOrderBeforeTheBody) {
  Scenario run(kDispatchS3SaveSmm);
  const long base = run.IndexOf("protocol_locate", Named("EFI_SMM_BASE2_PROTOCOL"));
  const long access = run.IndexOf("protocol_locate", Named("EFI_SMM_ACCESS2_PROTOCOL"));
  const long rangeTable = run.IndexOf("alloc", Field("space", "smram"));
  const long heapLookup = run.IndexOf("protocol_locate", Named("SMM_HEAP_LIST_PROTOCOL"));
  const long heapInstall = run.IndexOf("protocol_install", Named("SMM_HEAP_LIST_PROTOCOL"));
  const long debugChannels = run.IndexOf("dr", Field("reg", 2));
  const long sharedRecord = run.IndexOf("pcd_get", Field("token", 552));
  const long closeTableEvent = run.IndexOf("event_create", Field("group", kReadyToBootGroup));
  const long statusCode = run.IndexOf("protocol_locate", Named("EFI_SMM_STATUS_CODE_PROTOCOL"));
  const long companion =
      run.IndexOf("protocol_locate", Named("SMM_STATUS_CODE_COMPANION_PROTOCOL"));
  const long sx = run.IndexOf("smi_register", Field("source", "sx"));
  const long button = run.IndexOf("smi_register", Field("source", "power_button"));
  const long entry = run.IndexOf("entry");
  const std::vector<long> order = {base,        access,        rangeTable,   heapLookup,
                                   heapInstall, debugChannels, sharedRecord, closeTableEvent,
                                   statusCode,  companion,     sx,           button,
                                   entry};
  for (size_t n = 0; n < order.size(); ++n) {
    SCOPED_TRACE("step " + std::to_string(n));
    EXPECT_GE(order[n], 0);
    if (n > 0)
      EXPECT_LT(order[n - 1], order[n]);
  }
  // The body looks the base protocol up again for its own status-code record.
  const std::vector<Json> baseLookups = run.Of("protocol_locate", Named("EFI_SMM_BASE2_PROTOCOL"));
  ASSERT_EQ(baseLookups.size(), 2u);
  EXPECT_GT(baseLookups[1]["seq"].get<uint64_t>(),
            run.events()[closeTableEvent]["seq"].get<uint64_t>());
  // The SMRAM map of one range gives a one-descriptor table.
  EXPECT_EQ(run.events()[rangeTable]["size"], kSmramRangeTableSize);
  EXPECT_EQ(run.First("protocol_locate", Named("EFI_SMM_STATUS_CODE_PROTOCOL"))["where"], "smm");
}

TEST(SmmStartupRegistration, NormalLoadRegistersS5EntryAndPowerButtonHandlers) {
  Scenario run(std::string(kDispatchS3SaveSmm) + R"(
[[boot]]
smi = "s5_entry"
[[boot]]
smi = "power_button"
)");
  ExpectEntry(run, "EFI_SUCCESS", false);
  const std::vector<Json> registered = run.Of("smi_register");
  ASSERT_EQ(registered.size(), 2u);
  EXPECT_EQ(registered[0]["source"], "sx");
  EXPECT_EQ(registered[0]["type"], 5);  // SxS5
  EXPECT_EQ(registered[0]["phase"], 0); // SxEntry
  EXPECT_EQ(registered[0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(registered[1]["source"], "power_button");
  EXPECT_EQ(registered[1]["phase"], 0); // EfiPowerButtonEntry
  EXPECT_EQ(registered[1]["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.Of("protocol_locate", Named("EFI_SMM_SX_DISPATCH2_PROTOCOL"))[0]["where"], "smm");
  // Both handlers run on their SMI without touching anything.
  const long s5 = run.IndexOf("smi", Field("source", "s5_entry"));
  const long button = run.IndexOf("smi", Field("source", "power_button"));
  ASSERT_GE(s5, 0);
  EXPECT_EQ(button, s5 + 1);
  // Nothing but the final event follows the second SMI.
  EXPECT_EQ(run.events().size(), size_t(button + 2));
  EXPECT_TRUE(run.Faults().empty());
}

// Without the Sx dispatch protocol nothing is registered, not even the power-button handler.
TEST(SmmStartupRegistration, NoSxDispatchLoadsWithNoHandlerAtAll) {
  Scenario run(std::string(R"(
[smm]
sx_dispatch = false
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_TRUE(run.Of("smi_register").empty());
  EXPECT_EQ(Statuses(run.Of("protocol_locate", Named("EFI_SMM_SX_DISPATCH2_PROTOCOL"))),
            std::vector<std::string>{"EFI_NOT_FOUND"});
  EXPECT_TRUE(run.Of("protocol_locate", Named("EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL")).empty());
  EXPECT_TRUE(run.Of("event_close").empty());
  EXPECT_TRUE(run.Faults().empty());
}

// A missing power-button dispatch protocol or a failing registration with it is ignored: the S5
// handler stays and the load succeeds.
TEST(SmmStartupRegistration, PowerButtonProblemsLeaveTheS5Handler) {
  struct Case {
    const char *board;
    std::vector<std::string> buttonRegistrations;
  };
  for (const Case &c : {Case{R"(
[smm]
power_button_dispatch = false
)",
                             {}},
                        Case{R"(
[[fault]]
call = "smm.EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL.Register"
status = "EFI_DEVICE_ERROR"
)",
                             {"EFI_DEVICE_ERROR"}}}) {
    SCOPED_TRACE(c.board);
    Scenario run(std::string(c.board) + kDispatchS3SaveSmm + R"(
[[boot]]
smi = "s5_entry"
[[boot]]
smi = "power_button"
)");
    ExpectEntry(run, "EFI_SUCCESS", false);
    EXPECT_EQ(Statuses(run.Of("smi_register", Field("source", "sx"))),
              std::vector<std::string>{"EFI_SUCCESS"});
    EXPECT_EQ(Statuses(run.Of("smi_register", Field("source", "power_button"))),
              c.buttonRegistrations);
    EXPECT_TRUE(run.Of("event_close").empty());
    EXPECT_TRUE(run.Of("free").empty());
    EXPECT_TRUE(run.Faults().empty());
  }
}

// The body's error always replaces the initial EFI_LOAD_ERROR: the Sx registration's own status
// is what the entry returns, after the teardown, and the core unloads the image. Its closed events
// stay quiet afterwards.
TEST(SmmStartupFailure, SxRegistrationErrorIsTheEntryStatusAfterTeardown) {
  for (const char *status : {"EFI_DEVICE_ERROR", "EFI_ACCESS_DENIED"}) {
    SCOPED_TRACE(status);
    Scenario run(std::string(R"(
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = ")") + status +
                 "\"\n" + kDispatchS3SaveSmm + R"(
[[boot]]
dxe_install = "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"
[[boot]]
signal = "ready_to_boot"
[[boot]]
smi = "s5_entry"
)");
    ExpectEntry(run, status, true);
    ExpectTeardown(run);
    EXPECT_EQ(Statuses(run.Of("smi_register")), std::vector<std::string>{status});
    EXPECT_TRUE(
        run.Of("protocol_locate", Named("EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL")).empty());
    const long unload = run.IndexOf("unload");
    for (const Json &notify : run.Of("notify"))
      EXPECT_LT(notify["seq"].get<long>(), run.events()[unload]["seq"].get<long>());
    EXPECT_TRUE(run.final()["error_stops"].empty());
    EXPECT_TRUE(run.Faults().empty());
  }
}

// A warning from the Sx registration is not an error: the power-button handler follows and the
// driver stays.
TEST(SmmStartupFailure, SxRegistrationWarningIsNoFailure) {
  Scenario run(std::string(R"(
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = "EFI_WARN_STALE_DATA"
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_EQ(Statuses(run.Of("smi_register")),
            (std::vector<std::string>{"EFI_WARN_STALE_DATA", "EFI_SUCCESS"}));
  EXPECT_TRUE(run.Of("event_close").empty());
  EXPECT_TRUE(run.Of("free").empty());
}

// The body's own GetSmstLocation (the second call; set-up makes the first) fails: its error is
// the result, nothing is registered, and the teardown runs.
TEST(SmmStartupFailure, BodyGetSmstLocationErrorIsTheEntryStatus) {
  Scenario run(std::string(R"(
[[fault]]
call = "dxe.EFI_SMM_BASE2_PROTOCOL.GetSmstLocation"
nth = 2
status = "EFI_NOT_READY"
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_NOT_READY", true);
  ExpectTeardown(run);
  EXPECT_TRUE(run.Of("smi_register").empty());
  EXPECT_TRUE(run.Of("protocol_locate", Field("where", "smm")).empty());
  EXPECT_TRUE(run.Faults().empty());
}

// Outside SMRAM the body returns success at once. Set-up has run without an SMST (none is handed
// out outside SMM), so no SMRAM is allocated and the private record's allocation stops with its
// code; the heap list is still published.
TEST(SmmStartupFailure, NotInSmmSucceedsWithNothingRegistered) {
  Scenario run(std::string(R"(
[smm]
in_smm = false
[cpu]
error_stop_probe = 1
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_TRUE(run.Of("smi_register").empty());
  EXPECT_TRUE(run.Of("protocol_locate", Field("where", "smm")).empty());
  EXPECT_TRUE(run.Of("alloc", Field("space", "smram")).empty());
  EXPECT_EQ(run.final()["error_stops"], Json::array({kNoPrivateRecord}));
  EXPECT_EQ(run.final()["heap_list"], Json::array());
  EXPECT_TRUE(run.Faults().empty());
}

// When set-up's GetSmstLocation fails there is no SMST for SMRAM or the dispatch protocols: those
// steps are skipped without a crash, and the body (which gets its own SMST) registers nothing.
TEST(SmmStartupMissingServices, SetUpWithoutSmstSkipsWhatNeedsIt) {
  Scenario run(std::string(R"(
[cpu]
error_stop_probe = 1
[[heap]]
handle = 5
data = "AA"
[[fault]]
call = "dxe.EFI_SMM_BASE2_PROTOCOL.GetSmstLocation"
nth = 1
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_TRUE(run.Of("alloc", Field("space", "smram")).empty());
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x70180, kNoPrivateRecord}));
  EXPECT_EQ(run.final()["heap_list"], Json::array());
  EXPECT_TRUE(run.Of("smi_register").empty());
  EXPECT_TRUE(run.Faults().empty());
}

// Without EFI_SMM_BASE2_PROTOCOL set-up has no SMST and the body fails with the lookup's error.
TEST(SmmStartupMissingServices, NoBaseProtocolFailsTheBody) {
  Scenario run(std::string(R"(
[services]
EFI_SMM_BASE2_PROTOCOL = false
[cpu]
error_stop_probe = 1
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_NOT_FOUND", true);
  EXPECT_EQ(Statuses(run.Of("protocol_locate", Named("EFI_SMM_BASE2_PROTOCOL"))),
            (std::vector<std::string>{"EFI_NOT_FOUND", "EFI_NOT_FOUND"}));
  EXPECT_TRUE(run.Of("alloc", Field("space", "smram")).empty());
  EXPECT_EQ(run.final()["error_stops"], Json::array({kNoPrivateRecord}));
  // No record, so no events to close and no range table to free; the heap list is withdrawn.
  EXPECT_TRUE(run.Of("event_create").empty());
  EXPECT_TRUE(run.Of("event_close").empty());
  EXPECT_TRUE(run.Of("free").empty());
  EXPECT_EQ(run.Of("protocol_uninstall", Named("SMM_HEAP_LIST_PROTOCOL")).size(), 1u);
  EXPECT_EQ(run.final()["heap_list"], nullptr);
  EXPECT_TRUE(run.Faults().empty());
}

// Without PCD_PROTOCOL the shared record is created but not published; each failed lookup is
// tried again.
TEST(SmmStartupMissingServices, NoPcdProtocolLeavesTheRecordUnpublished) {
  Scenario run(std::string(R"(
[services]
PCD_PROTOCOL = false
)") + kDispatchS3SaveSmm);
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_EQ(Statuses(run.Of("protocol_locate", Named("PCD_PROTOCOL"))),
            (std::vector<std::string>{"EFI_NOT_FOUND", "EFI_NOT_FOUND"}));
  EXPECT_TRUE(run.Of("pcd_get").empty());
  EXPECT_TRUE(run.Of("pcd_set").empty());
  EXPECT_EQ(run.final()["s3_record"], nullptr);
  EXPECT_EQ(Sizes(run.Of("alloc", Field("space", "smram"))),
            (std::vector<uint64_t>{kSmramRangeTableSize, 16}));
  EXPECT_EQ(run.Of("smi_register", Field("status", "EFI_SUCCESS")).size(), 2u);
  EXPECT_TRUE(run.Faults().empty());
}

// Without EFI_SMM_ACCESS2_PROTOCOL there is no SMRAM range table: the module cannot tell SMRAM
// from other memory, so it refuses the table, even one in SMRAM, and frees nothing.
TEST(SmmStartupMissingServices, NoAccessProtocolMeansNoSmramAndTheTableIsRefused) {
  Scenario run(std::string(R"(
[services]
EFI_SMM_ACCESS2_PROTOCOL = false
)") + kDispatchS3SaveSmm +
               TableHandOver("smram"));
  ExpectEntry(run, "EFI_SUCCESS", false);
  EXPECT_EQ(Sizes(run.Of("alloc", Field("space", "smram"))), std::vector<uint64_t>{16});
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x90682}));
  EXPECT_TRUE(run.Of("free").empty());
  EXPECT_EQ(run.final()["s3_table"]["freed"], false);
  EXPECT_TRUE(run.Faults().empty());
}

// A failed allocation of the range table means no SMRAM map: the table at ready-to-boot is
// refused, even one in SMRAM, and a teardown has no range table to free.
TEST(SmmStartupFailure, RangeTableAllocationFailureMeansNoSmram) {
  constexpr char kNoRangeTable[] = R"(
[[fault]]
call = "smm.SmmAllocatePool"
nth = 1
)";
  {
    Scenario run(std::string(kNoRangeTable) + kDispatchS3SaveSmm + TableHandOver("smram"));
    ExpectEntry(run, "EFI_SUCCESS", false);
    EXPECT_EQ(run.final()["error_stops"], Json::array({0x90682}));
    EXPECT_TRUE(run.Of("free").empty());
    EXPECT_EQ(run.final()["s3_table"]["freed"], false);
  }
  {
    Scenario run(std::string(kNoRangeTable) + R"(
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = "EFI_DEVICE_ERROR"
)" + kDispatchS3SaveSmm);
    ExpectEntry(run, "EFI_DEVICE_ERROR", true);
    EXPECT_EQ(run.Of("event_close").size(), 2u);
    // Only the record is freed, and with no range table it is taken for boot-services memory.
    const std::vector<Json> freed = run.Of("free");
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0]["addr"], run.First("alloc", Field("size", 16))["addr"]);
    EXPECT_EQ(freed[0]["space"], "boot");
    EXPECT_TRUE(run.Faults().empty());
  }
}

// A failed installation of the heap-list protocol stops with its code and start-up goes on; this
// image then has nothing to withdraw in a later teardown.
TEST(SmmStartupFailure, HeapListInstallationFailureStopsWithItsCode) {
  constexpr char kNoInstall[] = R"(
[cpu]
error_stop_probe = 1
[[heap]]
handle = 9
data = "0102"
[[fault]]
call = "dxe.InstallProtocolInterface"
target = "SMM_HEAP_LIST_PROTOCOL"
)";
  {
    Scenario run(std::string(kNoInstall) + kDispatchS3SaveSmm);
    ExpectEntry(run, "EFI_SUCCESS", false);
    EXPECT_EQ(run.final()["error_stops"], Json::array({kHeapListNotInstalled}));
    EXPECT_EQ(run.final()["heap_list"], nullptr);
    EXPECT_TRUE(run.Of("protocol_install", Named("SMM_HEAP_LIST_PROTOCOL")).empty());
    // The stop follows the node of the transferred record and precedes the later set-up steps.
    const long node = run.IndexOf("alloc", Field("size", 34));
    const long stop = run.IndexOf("io", Field("value", kHeapListNotInstalled));
    EXPECT_GE(node, 0);
    EXPECT_LT(node, stop);
    EXPECT_LT(stop, run.IndexOf("pcd_get", Field("token", 552)));
    EXPECT_EQ(run.Of("smi_register", Field("status", "EFI_SUCCESS")).size(), 2u);
  }
  {
    Scenario run(std::string(kNoInstall) + R"(
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = "EFI_DEVICE_ERROR"
)" + kDispatchS3SaveSmm);
    ExpectEntry(run, "EFI_DEVICE_ERROR", true);
    EXPECT_EQ(run.Of("event_close").size(), 2u);
    EXPECT_EQ(run.Of("free").size(), 2u); // the record and the range table
    EXPECT_TRUE(run.Of("protocol_uninstall").empty());
    EXPECT_TRUE(run.Faults().empty());
  }
}

// ReleasePool frees by address: a table inside the reported SMRAM range goes back to the SMRAM
// pool, one in boot-services memory to boot services.
TEST(SmmStartupServices, TableIsFreedThroughThePoolThatOwnsIt) {
  for (const char *memory : {"smram", "boot"}) {
    SCOPED_TRACE(memory);
    Scenario run(std::string(kDispatchS3SaveSmm) + TableHandOver(memory));
    const Json built = run.First("s3_table_build");
    ASSERT_EQ(built["space"], memory);
    const std::vector<Json> freed = run.Of("free");
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0]["space"], memory);
    EXPECT_EQ(freed[0]["addr"], built["address"]);
    EXPECT_EQ(freed[0]["status"], "EFI_SUCCESS");
    EXPECT_GT(run.IndexOf("free"), run.IndexOf("communicate"));
    EXPECT_EQ(run.final()["s3_table"]["freed"], true);
    EXPECT_TRUE(run.Faults().empty());
  }
}

// PCD_PROTOCOL is looked up once and the hit is kept for the rest of start-up and for the
// ready-to-boot callback.
TEST(SmmStartupServices, PcdProtocolLookupIsCached) {
  Scenario run(std::string(kDispatchS3SaveSmm) + TableHandOver("boot"));
  const std::vector<Json> lookups = run.Of("protocol_locate", Named("PCD_PROTOCOL"));
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(lookups[0]["status"], "EFI_SUCCESS");
  // Two start-up accesses and one in the callback, all after the one lookup.
  ASSERT_EQ(run.Of("pcd_get", Field("token", 552)).size(), 1u);
  ASSERT_EQ(run.Of("pcd_set", Field("token", 552)).size(), 1u);
  const long callbackRead = run.IndexOf("pcd_get", Field("token", 553));
  EXPECT_GT(callbackRead, run.IndexOf("notify", Field("event", 2)));
  EXPECT_LT(run.IndexOf("protocol_locate", Named("PCD_PROTOCOL")),
            run.IndexOf("pcd_get", Field("token", 552)));
  EXPECT_EQ(run.Of("communicate").size(), 1u);
}

// A failed lookup is not cached: the next access looks again, and that hit is kept.
TEST(SmmStartupServices, FailedPcdProtocolLookupIsRepeated) {
  Scenario run(std::string(R"(
[[fault]]
call = "dxe.LocateProtocol"
target = "PCD_PROTOCOL"
nth = 1
)") + kDispatchS3SaveSmm +
               TableHandOver("boot"));
  EXPECT_EQ(Statuses(run.Of("protocol_locate", Named("PCD_PROTOCOL"))),
            (std::vector<std::string>{"EFI_OUT_OF_RESOURCES", "EFI_SUCCESS"}));
  // The first read found no service; the record was still created and published.
  EXPECT_TRUE(run.Of("pcd_get", Field("token", 552)).empty());
  EXPECT_EQ(run.Of("pcd_set", Field("token", 552)).size(), 1u);
  EXPECT_EQ(run.Of("pcd_get", Field("token", 553)).size(), 1u);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 1);
}

} // namespace
} // namespace boardsim::testing
