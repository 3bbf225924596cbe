// BoardInfoDxe's start-up as the DXE core sees it: what the entry installs, creates, reads and
// programs, in which order, what survives each failing service, the ready-to-boot event that
// closes itself, and the constant members of the installed interface.
#include "Scenario.h"

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace boardsim::testing {
namespace {

constexpr char kReadyToBootGuid[] = "7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B";
constexpr char kSetupGuid[] = "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9";
constexpr uint64_t kRegisterA = 0x02D01D00;
constexpr uint64_t kRegisterB = 0x02D02508;
constexpr uint64_t kMaskA = 0x00010000;
constexpr uint64_t kMaskB = 0x00008000;

constexpr char kDispatchBoardInfoDxe[] = R"(
[[boot]]
dispatch = "BoardInfoDxe"
)";

using Register = std::pair<uint64_t, uint64_t>; // instance, index

// The fourteen read-modify-writes in the order they must happen.
const std::vector<Register> kProgrammingOrder = {
    {1, kRegisterA}, {1, kRegisterB}, {2, kRegisterA}, {2, kRegisterB}, {3, kRegisterA},
    {3, kRegisterB}, {5, kRegisterA}, {5, kRegisterB}, {6, kRegisterA}, {6, kRegisterB},
    {7, kRegisterA}, {7, kRegisterB}, {0, kRegisterA}, {4, kRegisterA},
};

uint64_t MaskOf(uint64_t index) {
  return index == kRegisterA ? kMaskA : kMaskB;
}

// A distinct starting value for every register of the sixteen, so that a write that drops bits
// or lands on the wrong register shows.
uint64_t InitialValue(uint64_t instance, uint64_t index) {
  return (index == kRegisterA ? 0xA0000000 : 0xB0000000) | instance << 4 | 0x0000000F;
}

std::string HostRegistersWithInitialValues() {
  std::string text = "[host]\nregisters = [\n";
  for (uint64_t instance = 0; instance < 8; ++instance) {
    for (uint64_t index : {kRegisterA, kRegisterB}) {
      text += "  { instance = " + std::to_string(instance) + ", index = " + HexNumber(index) +
              ", value = " + HexNumber(InitialValue(instance, index)) + " },\n";
    }
  }
  return text + "]\n";
}

struct ReadModifyWrite {
  uint64_t instance;
  uint64_t index;
  uint64_t read;
  uint64_t written;
};

// Decodes the entry's accesses to the host register window (00:00.0, 0xC0-0xCB) into
// read-modify-writes, each of which must be the six 32-bit accesses select, index, read data,
// select, index, write data.
std::vector<ReadModifyWrite> EntryReadModifyWrites(const Scenario &run) {
  std::vector<Json> window;
  for (const Json &e : run.events()) {
    if (e.value("ev", "") == "entry")
      break;
    if (e.value("ev", "") == "pci_cfg" && e["bdf"] == "00:00.0" && e["offset"] >= 0xC0 &&
        e["offset"] < 0xCC)
      window.push_back(e);
  }
  const std::pair<const char *, uint32_t> pattern[] = {{"write", 0xC0}, {"write", 0xC4},
                                                       {"read", 0xC8},  {"write", 0xC0},
                                                       {"write", 0xC4}, {"write", 0xC8}};
  std::vector<ReadModifyWrite> found;
  EXPECT_EQ(window.size() % 6, 0u) << "a read-modify-write is not six accesses";
  for (size_t at = 0; at + 6 <= window.size(); at += 6) {
    for (size_t k = 0; k < 6; ++k) {
      const Json &e = window[at + k];
      EXPECT_EQ(e["dir"], pattern[k].first) << "access " << at + k;
      EXPECT_EQ(e["offset"], pattern[k].second) << "access " << at + k;
      EXPECT_EQ(e["width"], 32) << "access " << at + k;
      EXPECT_EQ(e["image"], kDxeDriver);
    }
    EXPECT_EQ(window[at + 3]["value"], window[at]["value"]) << "selector written again";
    EXPECT_EQ(window[at + 4]["value"], window[at + 1]["value"]) << "index written again";
    found.push_back({window[at]["value"], window[at + 1]["value"], window[at + 2]["value"],
                     window[at + 5]["value"]});
  }
  return found;
}

std::vector<Register> Targets(const std::vector<ReadModifyWrite> &writes) {
  std::vector<Register> targets;
  for (const ReadModifyWrite &w : writes)
    targets.push_back({w.instance, w.index});
  return targets;
}

std::map<Register, uint64_t> FinalHostRegisters(const Scenario &run) {
  std::map<Register, uint64_t> values;
  for (const Json &r : run.final()["host_registers"])
    values[{r["instance"], r["index"]}] = r["value"];
  return values;
}

// ---------------------------------------------------------------------------------------------
// The entry's sequence

// Install, ready-to-boot event, arrival event and its registration, Setup read, host register
// programming, in that order, with the arguments the firmware contract fixes.
TEST(DxeEntry, StartsUpInOrder) {
  Scenario run(kDispatchBoardInfoDxe);
  const long install =
      run.IndexOf("protocol_install",
                  AllOf({Field("image", kDxeDriver), Field("name", "BOARD_INFO_PROTOCOL")}));
  const long readyToBoot = run.IndexOf(
      "event_create", AllOf({Field("image", kDxeDriver), Field("group", kReadyToBootGuid)}));
  const long arrival =
      run.IndexOf("event_create", AllOf({Field("image", kDxeDriver), Field("group", nullptr)}));
  const long registration =
      run.IndexOf("protocol_notify",
                  AllOf({Field("image", kDxeDriver), Field("name", "PLATFORM_SIGNAL_PROTOCOL")}));
  const long alloc = run.IndexOf("alloc", Field("image", kDxeDriver));
  const long variable = run.IndexOf("variable_get", Field("image", kDxeDriver));
  const long programming =
      run.IndexOf("pci_cfg", AllOf({Field("image", kDxeDriver), Field("bdf", "00:00.0")}));
  const long entry = run.IndexOf("entry", Field("image", kDxeDriver));
  ASSERT_GE(install, 0);
  EXPECT_LT(install, readyToBoot);
  EXPECT_LT(readyToBoot, arrival);
  EXPECT_LT(arrival, registration);
  EXPECT_LT(registration, alloc);
  EXPECT_LT(alloc, variable);
  EXPECT_LT(variable, programming);
  EXPECT_LT(programming, entry);

  for (long created : {readyToBoot, arrival}) {
    const Json &e = run.events()[created];
    EXPECT_EQ(e["type"], 0x200);
    EXPECT_EQ(e["tpl"], 8);
    EXPECT_EQ(e["status"], "EFI_SUCCESS");
  }
  const Json &pool = run.events()[alloc];
  EXPECT_EQ(pool["space"], "boot");
  EXPECT_EQ(pool["size"], 589);
  const Json &read = run.events()[variable];
  EXPECT_EQ(read["name"], "Setup");
  EXPECT_EQ(read["guid"], kSetupGuid);
  EXPECT_EQ(read["size_in"], 589);
  EXPECT_EQ(read["status"], "EFI_SUCCESS");
  EXPECT_EQ(read["size_out"], 589);

  EXPECT_EQ(run.final()["images"][0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.final()["images"][0]["unloaded"], false);
  EXPECT_EQ(run.Of("alloc", Field("image", kDxeDriver)).size(), 1u);
  EXPECT_TRUE(run.Of("free").empty());
  EXPECT_TRUE(run.Faults().empty());
}

// A Setup variable smaller than the buffer is read whole.
TEST(DxeEntry, ShorterSetupVariableIsReadWhole) {
  Scenario run("[setup]\nsize = 100\n" + std::string(kDispatchBoardInfoDxe));
  const Json read = run.First("variable_get");
  EXPECT_EQ(read["size_in"], 589);
  EXPECT_EQ(read["status"], "EFI_SUCCESS");
  EXPECT_EQ(read["size_out"], 100);
  EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
}

// Fourteen read-modify-writes through the window, in instance order 1, 2, 3, 5, 6, 7, 0, 4;
// each ORs its mask into the value it read, and instances 0 and 4 never have their second
// register touched.
TEST(DxeEntry, HostEnableBitsAreSetInTheFixedOrder) {
  Scenario run(HostRegistersWithInitialValues() + kDispatchBoardInfoDxe);
  const std::vector<ReadModifyWrite> writes = EntryReadModifyWrites(run);
  EXPECT_EQ(Targets(writes), kProgrammingOrder);
  for (const ReadModifyWrite &w : writes) {
    SCOPED_TRACE("instance " + std::to_string(w.instance) + ", register " + HexNumber(w.index));
    EXPECT_EQ(w.read, InitialValue(w.instance, w.index));
    EXPECT_EQ(w.written, w.read | MaskOf(w.index));
  }

  std::map<Register, uint64_t> expected;
  for (const Register &r : kProgrammingOrder)
    expected[r] = InitialValue(r.first, r.second) | MaskOf(r.second);
  EXPECT_EQ(FinalHostRegisters(run), expected);
}

// ---------------------------------------------------------------------------------------------
// Failing services

// What each failure takes away, and what every start-up keeps: the image stays loaded with
// EFI_SUCCESS and the host registers are programmed in full.
struct EntryFailure {
  const char *name;
  std::string board;
  bool installed;
  bool registered;
  const char *variableStatus; // null: GetVariable is not called
};

std::string Fault(const std::string &call, const std::string &extra = "") {
  return "[[fault]]\ncall = \"" + call + "\"\nimage = \"BoardInfoDxe#1\"\n" + extra;
}

const EntryFailure kEntryFailures[] = {
    {"no Setup variable", "[setup]\npresent = false\n", true, true, "EFI_NOT_FOUND"},
    {"Setup larger than 589 bytes", "[setup]\nsize = 590\n", true, true, "EFI_BUFFER_TOO_SMALL"},
    {"GetVariable fails", Fault("dxe.GetVariable", "status = \"EFI_DEVICE_ERROR\"\n"), true, true,
     "EFI_DEVICE_ERROR"},
    {"AllocatePool fails", Fault("dxe.AllocatePool"), true, true, nullptr},
    {"CreateEvent fails", Fault("dxe.CreateEvent"), true, false, "EFI_SUCCESS"},
    {"InstallProtocolInterface fails", Fault("dxe.InstallProtocolInterface"), false, true,
     "EFI_SUCCESS"},
};

TEST(DxeEntryFailure, EachFailingServiceLosesOnlyWhatItSetsUp) {
  for (const EntryFailure &f : kEntryFailures) {
    SCOPED_TRACE(f.name);
    // The platform signal protocol arrives after the entry; slot 5 answers TRUE when reachable.
    Scenario run(f.board + kDispatchBoardInfoDxe +
                 "[[boot]]\ndxe_install = \"PLATFORM_SIGNAL_PROTOCOL\"\n"
                 "[[boot]]\ncall = \"BOARD_INFO_PROTOCOL.5\"\n");
    EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
    EXPECT_EQ(run.final()["images"][0]["unloaded"], false);
    EXPECT_EQ(Targets(EntryReadModifyWrites(run)), kProgrammingOrder);

    EXPECT_EQ(run.Of("protocol_install", Field("name", "BOARD_INFO_PROTOCOL")).size(),
              f.installed ? 1u : 0u);
    const Json returned = run.First("return");
    if (f.installed) {
      EXPECT_EQ(returned["value"], 1);
      EXPECT_TRUE(run.Faults().empty());
    } else {
      EXPECT_EQ(returned["value"], nullptr);
      EXPECT_EQ(run.Faults(), std::vector<std::string>{
                                  "BOARD_INFO_PROTOCOL.5: BOARD_INFO_PROTOCOL is not installed"});
    }

    EXPECT_EQ(run.Of("protocol_notify", Field("name", "PLATFORM_SIGNAL_PROTOCOL")).size(),
              f.registered ? 1u : 0u);
    EXPECT_EQ(run.Of("mark_item").size(), f.registered ? 2u : 0u);

    const std::vector<Json> reads = run.Of("variable_get");
    if (f.variableStatus) {
      ASSERT_EQ(reads.size(), 1u);
      EXPECT_EQ(reads[0]["status"], f.variableStatus);
      EXPECT_EQ(reads[0]["size_in"], 589);
    } else {
      EXPECT_TRUE(reads.empty());
    }
    EXPECT_TRUE(run.Of("free").empty());
  }
}

// ---------------------------------------------------------------------------------------------
// Ready to boot

// The ready-to-boot event's notify function closes its own event: the first signal runs it
// once, a second signal reaches nothing of the driver.
TEST(DxeReadyToBoot, EventClosesItselfAtTheFirstSignal) {
  Scenario run(std::string(kDispatchBoardInfoDxe) +
               "[[boot]]\nsignal = \"ready_to_boot\"\n[[boot]]\nsignal = \"ready_to_boot\"\n");
  const Json created = run.First("event_create", Field("group", kReadyToBootGuid));
  ASSERT_FALSE(created.is_null());
  const auto event = Field("event", created["event"]);
  ASSERT_EQ(run.Of("notify", event).size(), 1u);
  const std::vector<Json> closes = run.Of("event_close");
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0]["event"], created["event"]);
  EXPECT_EQ(closes[0]["image"], kDxeDriver);
  EXPECT_LT(run.IndexOf("notify", event), run.IndexOf("event_close"));
  EXPECT_EQ(run.Of("event_signal", event).size(), 1u);
}

// A ready-to-boot event that could not be created leaves nothing to run at the signal.
TEST(DxeReadyToBoot, FailedCreationLeavesNothingToSignal) {
  Scenario run(Fault("dxe.CreateEventEx") + kDispatchBoardInfoDxe +
               "[[boot]]\nsignal = \"ready_to_boot\"\n"
               "[[boot]]\ndxe_install = \"PLATFORM_SIGNAL_PROTOCOL\"\n");
  EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.First("event_create", Field("group", kReadyToBootGuid))["status"],
            "EFI_OUT_OF_RESOURCES");
  EXPECT_TRUE(run.Of("event_close").empty());
  // Only the arrival event is left, and it still works.
  EXPECT_EQ(run.Of("notify").size(), 1u);
  EXPECT_EQ(run.Of("mark_item").size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// The interface's constant members

// Slots 0 and 2 answer FALSE, slot 5 TRUE, slots 1, 6 and 7 zero, whatever they are passed and
// without touching it; slots 3 and 8-11 are null.
TEST(DxeInterface, ConstantSlotsAnswerTheirFixedValues) {
  const std::map<int, Json> answers = {{0, 0},       {1, 0},        {2, 0},       {3, nullptr},
                                       {5, 1},       {6, 0},        {7, 0},       {8, nullptr},
                                       {9, nullptr}, {10, nullptr}, {11, nullptr}};
  struct Arguments {
    const char *name;
    std::string keys;
    Json buffer1;
    Json buffer2;
  };
  const Arguments arguments[] = {
      {"default buffers", "", std::string(32, 'a'), std::string(32, 'a')},
      {"null buffers", "buffer1 = \"null\"\nbuffer2 = \"null\"\n", nullptr, nullptr},
      {"given buffers", "buffer1 = \"0102030405\"\nbuffer2 = \"FFFF\"\n", "0102030405", "ffff"},
  };
  for (const Arguments &a : arguments) {
    SCOPED_TRACE(a.name);
    std::string board = kDispatchBoardInfoDxe;
    for (const auto &[slot, answer] : answers)
      board += "[[boot]]\ncall = \"BOARD_INFO_PROTOCOL." + std::to_string(slot) + "\"\n" + a.keys;
    Scenario run(board);
    const std::vector<Json> returns = run.Of("return");
    ASSERT_EQ(returns.size(), answers.size());
    size_t at = 0;
    std::vector<std::string> nullSlots;
    for (const auto &[slot, answer] : answers) {
      const Json &returned = returns[at++];
      SCOPED_TRACE("slot " + std::to_string(slot));
      EXPECT_EQ(returned["target"], "BOARD_INFO_PROTOCOL." + std::to_string(slot));
      EXPECT_EQ(returned["value"], answer);
      EXPECT_EQ(returned["buffer1"], a.buffer1);
      EXPECT_EQ(returned["buffer2"], a.buffer2);
      if (answer.is_null())
        nullSlots.push_back("call through a null interface pointer");
    }
    EXPECT_EQ(run.Faults(), nullSlots);
  }
}

} // namespace
} // namespace boardsim::testing
