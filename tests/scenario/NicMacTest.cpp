// GetNicMacAddresses end to end: the four address rules, the two list layouts, the topology the
// routine walks to find each controller, and what it leaves behind in the hardware.
#include "Scenario.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace boardsim::testing {
namespace {

using Matcher = std::function<bool(const Json &)>;

constexpr size_t kBufferSize = 32; // the boot step's default GetNicMacAddresses buffers
constexpr size_t kList1Offset = 3;
constexpr size_t kEntrySize = 6;
constexpr char kZeroEntry[] = "000000000000";

constexpr char kDispatchAndCollect[] = R"(
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)";

std::string WithCollect(std::string_view board) {
  return std::string(board) + kDispatchAndCollect;
}

// Hex text of `count` bytes of the 0xAA fill that a boot-step buffer starts with.
std::string Fill(size_t count) {
  return std::string(2 * count, 'a');
}

// A NIC_MAC_LIST as trace hex: the count byte, then the entries.
std::string List(const std::vector<std::string> &entries) {
  char count[3];
  std::snprintf(count, sizeof count, "%02zx", entries.size());
  std::string text = count;
  for (const std::string &entry : entries)
    text += entry;
  return text;
}

// The default buffers after a call: the first keeps its three leading bytes, and everything
// past the lists keeps the fill.
std::string Buffer1(const std::vector<std::string> &entries) {
  return Fill(kList1Offset) + List(entries) +
         Fill(kBufferSize - kList1Offset - 1 - kEntrySize * entries.size());
}
std::string Buffer2(const std::vector<std::string> &entries) {
  return List(entries) + Fill(kBufferSize - 1 - kEntrySize * entries.size());
}

// Events of one kind that the driver caused between the first call step and its return.
std::vector<Json> DuringCall(const Scenario &run, std::string_view ev, const Matcher &match = {}) {
  std::vector<Json> found;
  bool inCall = false;
  for (const Json &e : run.events()) {
    const std::string kind = e.value("ev", "");
    if (kind == "call")
      inCall = true;
    if (kind == "return")
      break;
    if (inCall && kind == ev && e.value("image", "") == kDxeDriver && (!match || match(e)))
      found.push_back(e);
  }
  return found;
}

Matcher ConfigAt(const std::string &dir, const std::string &bdf, uint64_t offset) {
  return AllOf({Field("dir", dir), Field("bdf", bdf), Field("offset", offset)});
}

template <typename T> std::vector<T> Column(const std::vector<Json> &events, const char *key) {
  std::vector<T> values;
  for (const Json &e : events)
    values.push_back(e[key].get<T>());
  return values;
}

std::map<std::string, uint64_t> CommandRegisters(const Scenario &run) {
  std::map<std::string, uint64_t> values;
  for (const auto &[bdf, value] : run.final()["pci_command"].items())
    values[bdf] = value.get<uint64_t>();
  return values;
}

std::vector<uint64_t> Sequence(uint64_t first, size_t count) {
  std::vector<uint64_t> values;
  for (size_t i = 0; i < count; ++i)
    values.push_back(first + i);
  return values;
}

// Four bridges on bus 0, 00:01.0 to 00:04.0, each with one bus (1 to 4) below it, named by the
// four location tokens in order.
constexpr char kFourBridges[] = R"(
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "00:02.0"
kind = "bridge"
secondary = 2
subordinate = 2
[[pci]]
bdf = "00:03.0"
kind = "bridge"
secondary = 3
subordinate = 3
[[pci]]
bdf = "00:04.0"
kind = "bridge"
secondary = 4
subordinate = 4
)";
constexpr char kFourLocations[] = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic2BridgeLocation = 0x0010
PcdNic3BridgeLocation = 0x0018
PcdNic4BridgeLocation = 0x0020
)";

// ---------------------------------------------------------------------------------------------
// Address rules

// The three Intel 700-series IDs copy 4 + 2 bytes from the two address registers, one device
// memory read per byte and BAR0 read afresh before each copy; BAR0's flag bits and upper half
// play no part. Another Intel ID falls through to the default rule.
TEST(NicMacRules, Intel700CopiesTheTwoAddressRegistersBehindBar0) {
  Scenario run(WithCollect(std::string(kFourLocations) + kFourBridges + R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "intel700"
device = 0x1572
mac = "3CFDFE000001"
bar0 = 0xD0000000
config = { 0x10 = 0x0C, 0x14 = 0x12 }
[[pci]]
bdf = "02:00.0"
kind = "nic"
model = "intel700"
device = 0x1589
mac = "3CFDFE000002"
bar0 = 0xD2000000
[[pci]]
bdf = "03:00.0"
kind = "nic"
model = "intel700"
device = 0x158B
mac = "3CFDFE000003"
bar0 = 0xD4000000
[[pci]]
bdf = "04:00.0"
kind = "nic"
model = "intel700"
device = 0x1573
mac = "3CFDFE000004"
bar0 = 0xD6000000
mmio = { 0x5400 = "A0A1A2A3A4A5" }
)"));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["buffer1"], Buffer1({"3cfdfe000001"}));
  EXPECT_EQ(returned["buffer2"], Buffer2({"3cfdfe000002", "3cfdfe000003", "a0a1a2a3a4a5"}));

  std::vector<uint64_t> expected;
  for (uint64_t base : {0xD0000000ull, 0xD2000000ull, 0xD4000000ull}) {
    for (uint64_t a : Sequence(base + 0x1E2120, 4))
      expected.push_back(a);
    for (uint64_t a : Sequence(base + 0x1E2140, 2))
      expected.push_back(a);
  }
  for (uint64_t a : Sequence(0xD6005400, 6))
    expected.push_back(a);
  const std::vector<Json> reads = DuringCall(run, "mmio");
  EXPECT_EQ(Column<uint64_t>(reads, "addr"), expected);
  EXPECT_EQ(DuringCall(run, "mmio", Field("width", 8)).size(), expected.size());
  EXPECT_TRUE(DuringCall(run, "mmio", Field("dir", "write")).empty());

  // BAR0 is read once before each of the two copies of controller 1.
  std::string order;
  for (const Json &e : run.events()) {
    if (e.value("ev", "") == "mmio" && e["addr"].get<uint64_t>() < 0xD2000000)
      order += 'm';
    if (e.value("ev", "") == "pci_cfg" && e["bdf"] == "01:00.0" && e["offset"] == 0x10)
      order += 'B';
  }
  EXPECT_EQ(order, "BmmmmBmm");
  EXPECT_TRUE(DuringCall(run, "pci_cfg", Field("offset", 0x14)).empty());
}

// The address is the serial number's OUI and extension bytes, each one 8-bit read; the two
// inserted EUI-64 bytes are skipped. The function number is added to the last byte modulo 256,
// so function 2 turns 0xFF into 0x01. Any Broadcom device ID takes this rule.
TEST(NicMacRules, BroadcomTakesTheSerialNumberPlusTheFunctionNumber) {
  Scenario run(WithCollect(R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic3BridgeLocation = 0x0010
PcdNicFunctionLayout = 4
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "00:02.0"
kind = "bridge"
secondary = 2
subordinate = 2
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "broadcom"
device = 0x1657
mac = "001018ABCDEF"
[[pci]]
bdf = "02:00.2"
kind = "nic"
model = "broadcom"
mac = "001018ABCDFF"
)"));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["buffer1"], Buffer1({"001018abcdef"}));
  EXPECT_EQ(returned["buffer2"], Buffer2({"001018abcd01"}));

  const std::vector<Json> serial = DuringCall(run, "pci_cfg", [](const Json &e) {
    return e["bdf"] == "01:00.0" && e["offset"].get<uint32_t>() >= 0x100;
  });
  EXPECT_EQ(Column<uint32_t>(serial, "offset"),
            (std::vector<uint32_t>{0x147, 0x146, 0x145, 0x142, 0x141, 0x140}));
  EXPECT_EQ(Column<uint32_t>(serial, "width"), std::vector<uint32_t>(6, 8));
  EXPECT_TRUE(DuringCall(run, "mmio").empty());
}

// A controller no family claims: six bytes at BAR0 + 0x5400.
TEST(NicMacRules, AnyOtherControllerGivesTheSixBytesAtBar0Plus0x5400) {
  Scenario run(WithCollect(R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "generic"
mac = "001B21112233"
bar0 = 0xD8000000
)"));
  EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"001b21112233"}));
  EXPECT_EQ(Column<uint64_t>(DuringCall(run, "mmio"), "addr"), Sequence(0xD8005400, 6));
}

// ---------------------------------------------------------------------------------------------
// Mellanox vital product data

constexpr char kMellanoxTopology[] = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic2BridgeLocation = 0x0010
PcdNic3BridgeLocation = 0x0010
PcdNicFunctionLayout = 4
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "00:02.0"
kind = "bridge"
secondary = 2
subordinate = 2
)";

// One Mellanox function whose VPD carries `va` (left out when empty) and its own V2 and V3.
std::string MellanoxWithPorts(const std::string &bdf, const std::string &va, int number) {
  std::string vpd = "[";
  if (!va.empty())
    vpd += "[\"VA\", \"" + va + "\"], ";
  vpd += "[\"V2\", \"0002C900000" + std::to_string(number) + "\"], [\"V3\", \"0002C900001" +
         std::to_string(number) + "\"]]";
  return "[[pci]]\nbdf = \"" + bdf + "\"\nkind = \"nic\"\nmodel = \"mellanox\"\nvpd = " + vpd +
         "\n";
}

// The "VA" digit is the port count: controller 1 needs one port for its "V2" address, the
// others two ports for their "V3" address. A controller denied its address still counts.
TEST(NicMacVpd, PortCountDecidesWhichControllersGetAnAddress) {
  struct Case {
    std::string va;
    std::string controller1;
    std::vector<std::string> controllers2And3;
  };
  const Case cases[] = {
      {"", kZeroEntry, {kZeroEntry, kZeroEntry}},
      {"0", kZeroEntry, {kZeroEntry, kZeroEntry}},
      {"1", "0002c9000001", {kZeroEntry, kZeroEntry}},
      {"2", "0002c9000001", {"0002c9000012", "0002c9000013"}},
      {"4", "0002c9000001", {"0002c9000012", "0002c9000013"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("VA = \"" + c.va + "\"");
    Scenario run(
        WithCollect(std::string(kMellanoxTopology) + MellanoxWithPorts("01:00.0", c.va, 1) +
                    MellanoxWithPorts("02:00.1", c.va, 2) + MellanoxWithPorts("02:00.2", c.va, 3)));
    const Json returned = run.First("return");
    EXPECT_EQ(returned["status"], "EFI_SUCCESS");
    EXPECT_EQ(returned["buffer1"], Buffer1({c.controller1}));
    EXPECT_EQ(returned["buffer2"], Buffer2(c.controllers2And3));
  }
}

// A keyword the port count allows but the VPD lacks leaves the entry zero.
TEST(NicMacVpd, MissingAddressKeywordLeavesTheEntryZero) {
  Scenario run(WithCollect(std::string(kMellanoxTopology) + R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "mellanox"
vpd = [["VA", "2"], ["V3", "0002C9000011"]]
[[pci]]
bdf = "02:00.1"
kind = "nic"
model = "mellanox"
vpd = [["VA", "2"], ["V2", "0002C9000002"]]
)"));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["buffer1"], Buffer1({kZeroEntry}));
  EXPECT_EQ(returned["buffer2"], Buffer2({kZeroEntry}));
}

// Only '0'-'9' and 'A'-'F' are hex digits: any other character stands for its own code, so
// "1a" gives 0x71 and "ff" gives (0x66 << 4 | 0x66) mod 256 = 0x66.
TEST(NicMacVpd, LowerCaseAddressIsNotReadAsHex) {
  Scenario run(WithCollect(std::string(kMellanoxTopology) + R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "mellanox"
vpd = [["VA", "1"], ["V2", "1a1A00ff0000"]]
)"));
  EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"711a00660000"}));
}

// The scan ignores the resource structure: a keyword header inside another keyword's value
// counts, and the last match wins.
TEST(NicMacVpd, LaterKeywordPatternAnywhereInTheImageWins) {
  Scenario run(WithCollect(std::string(kMellanoxTopology) + R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "mellanox"
vpd = [["VA", "1"], ["V2", "0002C9000001"], ["YA", "V2\f0002C90000AA"]]
)"));
  EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c90000aa"}));
}

// A raw 256-byte image: "VA" '1', a "V2" at offset 4, and a second "V2" header at `lateHeader`.
std::string RawVpdBoard(size_t lateHeader) {
  std::vector<uint8_t> image(256, 0);
  auto put = [&](size_t at, std::string_view text) {
    for (char c : text)
      if (at < image.size())
        image[at++] = static_cast<uint8_t>(c);
  };
  put(0, std::string_view("VA\x01"
                          "1",
                          4));
  put(4, std::string_view("V2\x0C"
                          "0002C9000001",
                          15));
  put(lateHeader, std::string_view("V2\x0C"
                                   "0002C90000BB",
                                   15));
  std::string hex;
  for (uint8_t byte : image) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", byte);
    hex += two;
  }
  return std::string(kMellanoxTopology) +
         "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nmodel = \"mellanox\"\nvpd_raw = \"" + hex +
         "\"\n";
}

// A keyword counts only where its header and its 12 characters end inside the 256 bytes.
TEST(NicMacVpd, KeywordMustEndInsideTheImage) {
  {
    SCOPED_TRACE("value ends at the last byte");
    Scenario run(WithCollect(RawVpdBoard(256 - 15)));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c90000bb"}));
  }
  {
    SCOPED_TRACE("value runs one byte past the end");
    Scenario run(WithCollect(RawVpdBoard(256 - 14)));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c9000001"}));
  }
}

// One VPD dword read as the trace shows it: the address written, the polls of the address
// register that followed, whether the last poll showed completion, and the data reads.
struct VpdDword {
  uint64_t address = 0;
  int polls = 0;
  bool completed = false;
  int dataReads = 0;
  bool operator==(const VpdDword &) const = default;
};

std::vector<VpdDword> VpdDwords(const Scenario &run, const std::string &bdf, uint32_t capability) {
  std::vector<VpdDword> dwords;
  for (const Json &e : DuringCall(run, "pci_cfg", Field("bdf", bdf))) {
    const uint32_t offset = e["offset"];
    const bool write = e["dir"] == "write";
    if (offset == capability + 2 && write && e["width"] == 16) {
      dwords.push_back({e["value"].get<uint64_t>(), 0, false, 0});
    } else if (offset == capability + 2 && !write && e["width"] == 16 && !dwords.empty()) {
      ++dwords.back().polls;
      dwords.back().completed = (e["value"].get<uint64_t>() & 0x8000) != 0;
    } else if (offset == capability + 4 && !write && e["width"] == 32 && !dwords.empty()) {
      ++dwords.back().dataReads;
    }
  }
  return dwords;
}

std::vector<VpdDword> EveryDword(int polls) {
  std::vector<VpdDword> dwords;
  for (uint64_t address = 0; address < 256; address += 4)
    dwords.push_back({address, polls, true, 1});
  return dwords;
}

constexpr char kMellanoxOnBus1[] = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "mellanox"
vpd = [["VA", "1"], ["V2", "0002C9ABCDEF"]]
)";

// Each of the 64 dwords is requested through the capability's address register in ECAM, polled
// until bit 15 shows, then read from the data register; a slow VPD only costs more polls.
TEST(NicMacVpd, SlowCompletionIsWaitedForDwordByDword) {
  for (int readyAfter : {0, 5}) {
    SCOPED_TRACE("ready after " + std::to_string(readyAfter) + " polls");
    Scenario run(WithCollect(std::string(kMellanoxOnBus1) +
                             "vpd_ready_after = " + std::to_string(readyAfter) + "\n"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c9abcdef"}));
    EXPECT_EQ(VpdDwords(run, "01:00.0", 0x40), EveryDword(readyAfter + 1));
  }
}

// A VPD that answers only after some time is waited for in 100 us stalls; one that never
// completes is given up after 100 ms of them: the entry stays zero but counts, and the call
// still ends normally.
TEST(NicMacVpd, CompletionIsWaitedForInSimulatedTime) {
  {
    SCOPED_TRACE("5 ms per dword");
    Scenario run(WithCollect(std::string(kMellanoxOnBus1) + "vpd_ready_after_us = 5000\n"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c9abcdef"}));
    const std::vector<VpdDword> dwords = VpdDwords(run, "01:00.0", 0x40);
    ASSERT_EQ(dwords.size(), 64u);
    EXPECT_TRUE(dwords.back().completed);
    // 50 stalls of 100 us per dword, then the 1000 us settle stall at the end of the call.
    EXPECT_EQ(DuringCall(run, "stall").size(), 64u * 50 + 1);
  }
  Scenario run(WithCollect(std::string(kMellanoxOnBus1) + "vpd_ready_after = \"never\"\n"));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["buffer1"], Buffer1({kZeroEntry}));
  EXPECT_EQ(VpdDwords(run, "01:00.0", 0x40), (std::vector<VpdDword>{{0, 1100, false, 0}}));
  std::vector<uint64_t> stalls(1000, 100);
  stalls.push_back(1000);
  EXPECT_EQ(Column<uint64_t>(DuringCall(run, "stall"), "us"), stalls);
}

// The capability walk goes through the I/O ports: the address register takes
// 0x80000000 | BDF << 8 | offset for each capability visited.
std::vector<uint64_t> PortAddresses(const Scenario &run) {
  return Column<uint64_t>(DuringCall(run, "io", AllOf({Field("dir", "out"), Field("port", 0xCF8)})),
                          "value");
}

// Other capabilities ahead of VPD are walked past, and the VPD registers are then used at the
// offset where the walk found it.
TEST(NicMacVpd, CapabilityWalkPassesOtherCapabilities) {
  Scenario run(WithCollect(std::string(kMellanoxOnBus1) + "capabilities = [0x01, 0x05, 0x10]\n"));
  EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0002c9abcdef"}));
  EXPECT_EQ(PortAddresses(run),
            (std::vector<uint64_t>{0x80010034, 0x80010040, 0x80010048, 0x80010050, 0x80010058}));
  EXPECT_EQ(DuringCall(run, "io", AllOf({Field("dir", "in"), Field("port", 0xCFC)})).size(), 5u);
  EXPECT_EQ(VpdDwords(run, "01:00.0", 0x58), EveryDword(2));
}

// A list that loops back on itself is abandoned after 48 steps; one without capabilities is not
// walked at all. Either way the controller counts with a zero entry and its VPD is never asked.
TEST(NicMacVpd, NoReachableVpdCapabilityLeavesAZeroEntry) {
  {
    SCOPED_TRACE("looping list");
    Scenario run(WithCollect(std::string(kMellanoxOnBus1) +
                             "capabilities = [0x01, 0x05]\nconfig = { 0x49 = 0x40 }\n"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({kZeroEntry}));
    std::vector<uint64_t> walk{0x80010034};
    for (int step = 0; step < 24; ++step) {
      walk.push_back(0x80010040);
      walk.push_back(0x80010048);
    }
    EXPECT_EQ(PortAddresses(run), walk);
    EXPECT_TRUE(VpdDwords(run, "01:00.0", 0x50).empty());
  }
  {
    SCOPED_TRACE("capabilities pointer 0");
    Scenario run(WithCollect(std::string(kMellanoxOnBus1) + "config = { 0x34 = 0 }\n"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({kZeroEntry}));
    EXPECT_EQ(PortAddresses(run), std::vector<uint64_t>{0x80010034});
    EXPECT_TRUE(VpdDwords(run, "01:00.0", 0x40).empty());
  }
}

// ---------------------------------------------------------------------------------------------
// List layouts

constexpr char kGenericNicsOnFourBuses[] = R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
mac = "0000000000C1"
[[pci]]
bdf = "02:00.0"
kind = "nic"
mac = "0000000000C2"
[[pci]]
bdf = "03:00.0"
kind = "nic"
mac = "0000000000C3"
[[pci]]
bdf = "04:00.0"
kind = "nic"
mac = "0000000000C4"
)";

// Controller 1 fills the list at offset 3 of the first buffer, whose first three bytes are the
// consumer's; controllers 2-4 fill the second buffer's list in controller order (not bus order).
// Both counts start from zero whatever the buffers held.
TEST(NicMacLists, ControllerOneInTheFirstBufferTheOthersInOrderInTheSecond) {
  Scenario run(WithCollect(R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic2BridgeLocation = 0x0020
PcdNic3BridgeLocation = 0x0010
PcdNic4BridgeLocation = 0x0018
)" + std::string(kFourBridges) +
                           kGenericNicsOnFourBuses) +
               R"(
[[boot]]
call = "GetNicMacAddresses"
buffer1 = "112233 09 445566778899 AABBCCDDEEFF"
buffer2 = "07 00112233445566778899AABBCCDDEEFF00112233"
)");
  const std::vector<Json> returns = run.Of("return");
  ASSERT_EQ(returns.size(), 2u);
  EXPECT_EQ(returns[0]["buffer1"], Buffer1({"0000000000c1"}));
  EXPECT_EQ(returns[0]["buffer2"], Buffer2({"0000000000c4", "0000000000c2", "0000000000c3"}));
  EXPECT_EQ(returns[1]["buffer1"], "112233" + List({"0000000000c1"}) + "aabbccddeeff");
  EXPECT_EQ(returns[1]["buffer2"], List({"0000000000c4", "0000000000c2", "0000000000c3"}) + "2233");
}

// An absent controller adds nothing, so the next one present moves up.
TEST(NicMacLists, AbsentControllerLeavesNoGap) {
  Scenario run(WithCollect(std::string(kFourLocations) + kFourBridges + R"(
[[pci]]
bdf = "03:00.0"
kind = "nic"
mac = "0000000000C3"
[[pci]]
bdf = "04:00.0"
kind = "nic"
mac = "0000000000C4"
)"));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["buffer1"], Buffer1({}));
  EXPECT_EQ(returned["buffer2"], Buffer2({"0000000000c3", "0000000000c4"}));
  // Controllers 1 and 2 were looked for (their bridges name empty buses) and found absent.
  EXPECT_EQ(Column<std::string>(
                DuringCall(run, "pci_cfg", AllOf({Field("offset", 0), Field("width", 32)})), "bdf"),
            (std::vector<std::string>{"01:00.0", "02:00.0", "03:00.0", "04:00.0"}));
}

// With every location 0 nothing is probed, both counts come back 0, and the 1000 us wait is
// still made.
TEST(NicMacLists, NoBridgesGiveEmptyListsAfterTheWait) {
  Scenario run(WithCollect(kFourBridges + std::string(kGenericNicsOnFourBuses)));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["buffer1"], Buffer1({}));
  EXPECT_EQ(returned["buffer2"], Buffer2({}));
  EXPECT_TRUE(DuringCall(run, "pci_cfg").empty());
  EXPECT_EQ(Column<uint32_t>(DuringCall(run, "pcd_get"), "token"),
            (std::vector<uint32_t>{2, 203, 204, 205}));
  EXPECT_EQ(Column<uint64_t>(DuringCall(run, "stall"), "us"), std::vector<uint64_t>{1000});
  EXPECT_EQ(returned["t_us"].get<uint64_t>() - run.First("call")["t_us"].get<uint64_t>(), 1000u);
}

// ---------------------------------------------------------------------------------------------
// Topology: function numbers, bus translation, last populated bus

// Token 251 picks the functions of controllers 2-4; with all three tokens naming one bridge,
// layout 4 and up reads functions 1, 2 and 3 of one device. The token is read afresh for each
// threshold test.
TEST(NicMacTopology, FunctionLayoutPicksTheFunctionsOfControllersTwoToFour) {
  struct Case {
    int layout;
    std::vector<std::string> functions; // controllers 2, 3, 4
    size_t layoutReads;
  };
  const Case cases[] = {
      {0, {"02:00.0", "02:00.0", "02:00.0"}, 4}, {1, {"02:00.0", "02:00.0", "02:00.0"}, 4},
      {2, {"02:00.1", "02:00.0", "02:00.1"}, 4}, {3, {"02:00.1", "02:00.0", "02:00.1"}, 4},
      {4, {"02:00.1", "02:00.2", "02:00.3"}, 3}, {5, {"02:00.1", "02:00.2", "02:00.3"}, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("layout " + std::to_string(c.layout));
    std::string board = R"(
[pcd]
PcdNic2BridgeLocation = 0x0010
PcdNic3BridgeLocation = 0x0010
PcdNic4BridgeLocation = 0x0010
PcdNicFunctionLayout = )" +
                        std::to_string(c.layout) +
                        R"(
[[pci]]
bdf = "00:02.0"
kind = "bridge"
secondary = 2
subordinate = 2
)";
    for (int function = 0; function < 4; ++function) {
      board += "[[pci]]\nbdf = \"02:00." + std::to_string(function) +
               "\"\nkind = \"nic\"\nmac = \"0000000002F" + std::to_string(function) + "\"\n";
    }
    Scenario run(WithCollect(board));
    std::vector<std::string> entries;
    for (const std::string &bdf : c.functions)
      entries.push_back("0000000002f" + bdf.substr(6));
    EXPECT_EQ(run.First("return")["buffer2"], Buffer2(entries));
    EXPECT_EQ(
        Column<std::string>(
            DuringCall(run, "pci_cfg", AllOf({Field("offset", 0), Field("width", 32)})), "bdf"),
        c.functions);
    EXPECT_EQ(DuringCall(run, "pcd_get", Field("token", 251)).size(), c.layoutReads);
  }
}

// A location whose bus byte is 0x10 or more is a group number and a bus within the group; the
// group size comes from the top byte of host register 0x0001C0A0 of instance 0, read through
// the window. Bits 31-16 never count, and smaller values are used as they are.
TEST(NicMacTopology, BridgeLocationIsTranslatedByTheBusGroupSize) {
  struct Case {
    int sizeMinusOne;
    uint32_t location;
    std::string bridge;
    bool window;
  };
  const Case cases[] = {
      {15, 0x2100, "21:00.0", true},     {3, 0x2100, "09:00.0", true},
      {3, 0x1000, "04:00.0", true},      {3, 0x12345678, "1a:0f.0", true},
      {31, 0x9100, "21:00.0", true},     {255, 0x2300, "03:00.0", true},
      {3, 0x8888, "28:11.0", true},      {3, 0x0F45, "0f:08.5", false},
      {3, 0x00010F45, "0f:08.5", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("group size - 1 = " + std::to_string(c.sizeMinusOne) + ", location " +
                 HexNumber(c.location));
    Scenario run(
        WithCollect("[host]\nbus_group_size_minus_one = " + std::to_string(c.sizeMinusOne) +
                    "\n[pcd]\nPcdNic1BridgeLocation = " + HexNumber(c.location) +
                    "\n[[pci]]\nbdf = \"" + c.bridge + R"("
kind = "bridge"
secondary = 0x40
subordinate = 0x40
[[pci]]
bdf = "40:00.0"
kind = "nic"
mac = "0000000040AA"
)"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({"0000000040aa"}));
    const std::vector<Json> window = DuringCall(run, "pci_cfg", Field("bdf", "00:00.0"));
    if (c.window) {
      ASSERT_EQ(window.size(), 3u);
      EXPECT_EQ(Column<std::string>(window, "dir"),
                (std::vector<std::string>{"write", "write", "read"}));
      EXPECT_EQ(Column<uint32_t>(window, "offset"), (std::vector<uint32_t>{0xC0, 0xC4, 0xCB}));
      EXPECT_EQ(Column<uint32_t>(window, "width"), (std::vector<uint32_t>{32, 32, 8}));
      EXPECT_EQ(Column<uint64_t>(window, "value"),
                (std::vector<uint64_t>{0, 0x1C0A0, uint64_t(c.sizeMinusOne)}));
    } else {
      EXPECT_TRUE(window.empty());
    }
  }
}

// The validity test is made on the translated location: 0x8888 is skipped only where it stays
// 0x8888, and a location that translates to 0 is skipped as well.
TEST(NicMacTopology, LocationThatTranslatesToAnUnsetValueIsSkipped) {
  struct Case {
    int sizeMinusOne;
    uint32_t location;
    std::string bridge; // where the location would lead untranslated
  };
  const Case cases[] = {{15, 0x8888, "88:11.0"}, {255, 0x1000, "10:00.0"}};
  for (const Case &c : cases) {
    SCOPED_TRACE("group size - 1 = " + std::to_string(c.sizeMinusOne) + ", location " +
                 HexNumber(c.location));
    Scenario run(
        WithCollect("[host]\nbus_group_size_minus_one = " + std::to_string(c.sizeMinusOne) +
                    "\n[pcd]\nPcdNic1BridgeLocation = " + HexNumber(c.location) +
                    "\n[[pci]]\nbdf = \"" + c.bridge + R"("
kind = "bridge"
secondary = 0x40
subordinate = 0x40
[[pci]]
bdf = "00:00.0"
kind = "bridge"
secondary = 0x40
subordinate = 0x40
[[pci]]
bdf = "40:00.0"
kind = "nic"
mac = "0000000040AA"
)"));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1({}));
    // Only the translation's window accesses happen: no bridge is read.
    const std::vector<Json> config = DuringCall(run, "pci_cfg");
    EXPECT_EQ(Column<uint32_t>(config, "offset"), (std::vector<uint32_t>{0xC0, 0xC4, 0xCB}));
  }
}

// The controller is looked for on the highest bus of the bridge's range whose device 0 answers,
// probing from the subordinate bus downwards with 8-bit vendor reads; the secondary bus itself
// is never probed.
TEST(NicMacTopology, ControllerSitsOnTheLastPopulatedBusBelowTheBridge) {
  struct Case {
    int subordinate;
    std::vector<int> populated;
    std::vector<std::string> probes;
    std::string idRead;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {5, {2}, {"05:00.0", "04:00.0", "03:00.0"}, "02:00.0", {"0000000000b2"}},
      {5, {4}, {"05:00.0", "04:00.0"}, "04:00.0", {"0000000000b4"}},
      {5, {3, 4}, {"05:00.0", "04:00.0"}, "04:00.0", {"0000000000b4"}},
      {5, {5}, {"05:00.0"}, "05:00.0", {"0000000000b5"}},
      {5, {}, {"05:00.0", "04:00.0", "03:00.0"}, "02:00.0", {}},
      {2, {2, 3}, {}, "02:00.0", {"0000000000b2"}},
  };
  for (const Case &c : cases) {
    std::string board = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 2
subordinate = )" + std::to_string(c.subordinate) +
                        "\n";
    std::string populated;
    for (int bus : c.populated) {
      board += "[[pci]]\nbdf = \"0" + std::to_string(bus) +
               ":00.0\"\nkind = \"nic\"\nmac = \"0000000000B" + std::to_string(bus) + "\"\n";
      populated += " " + std::to_string(bus);
    }
    SCOPED_TRACE("buses 2-" + std::to_string(c.subordinate) + ", populated:" + populated);
    Scenario run(WithCollect(board));
    EXPECT_EQ(run.First("return")["buffer1"], Buffer1(c.entries));
    EXPECT_EQ(
        Column<std::string>(
            DuringCall(run, "pci_cfg", AllOf({Field("offset", 0), Field("width", 8)})), "bdf"),
        c.probes);
    EXPECT_EQ(
        Column<std::string>(
            DuringCall(run, "pci_cfg", AllOf({Field("offset", 0), Field("width", 32)})), "bdf"),
        std::vector<std::string>{c.idRead});
  }
}

// ---------------------------------------------------------------------------------------------
// Hardware state left behind, and the caller's side

// Every controller found gets memory decoding and bus mastering by an 8-bit read-modify-write
// of its command register before its rule runs, also when the rule finds no address; absent
// controllers and bridges are not written.
TEST(NicMacHardware, CommandRegisterOfEveryPresentControllerIsEnabled) {
  Scenario run(WithCollect(std::string(kFourLocations) + kFourBridges + R"(
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "intel700"
mac = "3CFDFE000001"
config = { 0x04 = 0x40 }
[[pci]]
bdf = "02:00.0"
kind = "nic"
model = "mellanox"
vpd = [["V2", "0002C9000002"]]
[[pci]]
bdf = "03:00.0"
kind = "nic"
mac = "0000000000C3"
config = { 0x04 = 0x03, 0x05 = 0x01 }
)"));
  EXPECT_EQ(run.First("return")["buffer2"], Buffer2({kZeroEntry, "0000000000c3"}));
  EXPECT_EQ(CommandRegisters(run), (std::map<std::string, uint64_t>{
                                       {"01:00.0", 0x46}, {"02:00.0", 0x06}, {"03:00.0", 0x107}}));

  struct Expected {
    std::string bdf;
    uint64_t before;
  };
  for (const Expected &nic :
       {Expected{"01:00.0", 0x40}, Expected{"02:00.0", 0x00}, Expected{"03:00.0", 0x03}}) {
    SCOPED_TRACE(nic.bdf);
    const std::vector<Json> command =
        DuringCall(run, "pci_cfg", AllOf({Field("bdf", nic.bdf), Field("offset", 4)}));
    ASSERT_EQ(command.size(), 2u);
    EXPECT_EQ(command[0]["dir"], "read");
    EXPECT_EQ(command[1]["dir"], "write");
    EXPECT_EQ(Column<uint32_t>(command, "width"), (std::vector<uint32_t>{8, 8}));
    EXPECT_EQ(command[0]["value"], nic.before);
    EXPECT_EQ(command[1]["value"], nic.before | 0x06);
  }
  // Controller 1's address registers decode only once memory space is on.
  EXPECT_LT(run.IndexOf("pci_cfg", ConfigAt("write", "01:00.0", 4)), run.IndexOf("mmio"));
}

// The 1000 us wait comes once, after the last hardware access of the call.
TEST(NicMacHardware, WaitFollowsTheLastAccess) {
  Scenario run(WithCollect(std::string(kFourLocations) + kFourBridges + kGenericNicsOnFourBuses));
  ASSERT_EQ(run.Of("stall").size(), 1u);
  const long stall = run.IndexOf("stall");
  EXPECT_EQ(run.First("stall")["us"], 1000);
  for (const char *hardware : {"pci_cfg", "mmio"}) {
    const std::vector<Json> accesses = run.Of(hardware);
    ASSERT_FALSE(accesses.empty());
    EXPECT_LT(accesses.back()["seq"].get<long>(), stall) << hardware;
  }
  EXPECT_EQ(run.First("return")["t_us"], 1000);
}

// A NULL buffer is refused before anything is read, written or waited for.
TEST(NicMacCaller, NullBufferIsRefusedUntouched) {
  for (const char *nullBuffer : {"buffer1", "buffer2"}) {
    SCOPED_TRACE(nullBuffer);
    Scenario run(std::string(kFourLocations) + kFourBridges + kGenericNicsOnFourBuses + R"(
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)" + nullBuffer + " = \"null\"\n");
    const Json returned = run.First("return");
    EXPECT_EQ(returned["status"], "EFI_INVALID_PARAMETER");
    EXPECT_EQ(returned[nullBuffer], nullptr);
    const std::string other = std::string(nullBuffer) == "buffer1" ? "buffer2" : "buffer1";
    EXPECT_EQ(returned[other], Fill(kBufferSize));
    for (const char *ev : {"pci_cfg", "io", "mmio", "pcd_get", "stall", "protocol_locate"})
      EXPECT_TRUE(DuringCall(run, ev).empty()) << ev;
    EXPECT_TRUE(run.Faults().empty());
  }
}

// Without PCD_PROTOCOL every token reads as 0: all four locations are unset, the lists come
// back empty and the wait is still made.
TEST(NicMacCaller, MissingPcdProtocolReadsEveryTokenAsZero) {
  Scenario run(WithCollect("[services]\nPCD_PROTOCOL = false\n" + std::string(kFourLocations) +
                           kFourBridges + kGenericNicsOnFourBuses));
  const Json returned = run.First("return");
  EXPECT_EQ(returned["status"], "EFI_SUCCESS");
  EXPECT_EQ(returned["buffer1"], Buffer1({}));
  EXPECT_EQ(returned["buffer2"], Buffer2({}));
  EXPECT_FALSE(DuringCall(run, "protocol_locate", Field("name", "PCD_PROTOCOL")).empty());
  EXPECT_TRUE(DuringCall(run, "protocol_locate",
                         AllOf({Field("name", "PCD_PROTOCOL"), Field("status", "EFI_SUCCESS")}))
                  .empty());
  EXPECT_TRUE(DuringCall(run, "pcd_get").empty());
  EXPECT_TRUE(DuringCall(run, "pci_cfg").empty());
  EXPECT_EQ(Column<uint64_t>(DuringCall(run, "stall"), "us"), std::vector<uint64_t>{1000});
}

// The PCD protocol is located on first use and kept: a second call locates it no more, and
// recounts both lists from zero.
TEST(NicMacCaller, SecondCallReusesThePcdProtocolAndRecounts) {
  Scenario run(WithCollect(std::string(kFourLocations) + kFourBridges + kGenericNicsOnFourBuses) +
               "[[boot]]\ncall = \"GetNicMacAddresses\"\n");
  const std::vector<Json> returns = run.Of("return");
  ASSERT_EQ(returns.size(), 2u);
  for (const Json &returned : returns) {
    EXPECT_EQ(returned["buffer1"], Buffer1({"0000000000c1"}));
    EXPECT_EQ(returned["buffer2"], Buffer2({"0000000000c2", "0000000000c3", "0000000000c4"}));
  }
  EXPECT_EQ(
      run.Of("protocol_locate", AllOf({Field("image", kDxeDriver), Field("name", "PCD_PROTOCOL")}))
          .size(),
      1u);
  EXPECT_EQ(run.Of("pcd_get", Field("token", 2)).size(), 2u);
}

} // namespace
} // namespace boardsim::testing
