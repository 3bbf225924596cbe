// S3SaveSmm's debug output as the hardware sees it: which channels a message reaches and in what
// order, the exact port and memory traffic of each channel, and the I/O-breakpoint channel with
// and without its trace buffer. The texts are the module's own messages: creating the S3 record
// prints one, and the ready-to-boot callback prints one or two more.
#include "Scenario.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace boardsim::testing {
namespace {

constexpr char kNoRecordText[] = "mTarnS3LibPrivateData is NULL\n";

constexpr uint32_t kFrameStart = 0x5F535452; // "RTS_"
constexpr uint32_t kFrameEnd = 0x5F454E44;   // "DNE_"
constexpr uint32_t kBreakpointPort = 0x99CC;
constexpr uint32_t kGatherNoticePort = 0xFFED;
constexpr uint32_t kBreakpointTag = 0xC0BF99CC;
constexpr uint32_t kBreakpointMsr = 0xC001100A;

// Two messages: the allocation at dispatch and the close-table callback at ready-to-boot.
constexpr char kTwoMessages[] = R"(
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = {}
[[boot]]
signal = "ready_to_boot"
)";

// Printing on, with the configurable serial channel on its own UART at 0x2F8 so that the legacy
// UART's text is that channel's alone.
constexpr char kPrintingOnOwnUart[] = R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x2F8
[[uart]]
base = 0x2F8
)";

std::string Unhex(const std::string &hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string CrLf(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

// A copy of the final event: a field that is missing reads as null instead of asserting.
std::vector<Json> IoOn(const Scenario &run, uint32_t first, uint32_t last) {
  return run.Of("io", [&](const Json &e) {
    const uint64_t port = U64(e["port"]);
    return port >= first && port <= last;
  });
}

// The bytes of the 8-bit writes among `events`, as text.
std::string WrittenText(const std::vector<Json> &events) {
  std::string text;
  for (const Json &e : events)
    if (e["dir"] == "out" && e["width"] == 8)
      text.push_back(static_cast<char>(U64(e["value"])));
  return text;
}

// Consecutive accesses of one kind to one place, counted: {"in 0x3FD", 3}, {"out 0x3F8", 16}.
std::vector<std::pair<std::string, size_t>> AccessRuns(const std::vector<Json> &events) {
  std::vector<std::pair<std::string, size_t>> runs;
  for (const Json &e : events) {
    const std::string where =
        e.contains("port") ? HexNumber(U64(e["port"])) : HexNumber(U64(e["addr"]));
    const std::string key = e["dir"].get<std::string>() + " " + where;
    if (!runs.empty() && runs.back().first == key)
      ++runs.back().second;
    else
      runs.emplace_back(key, 1);
  }
  return runs;
}

// The texts framed on one port. A write that breaks the framing fails the test.
std::vector<std::string> FramedTexts(const Scenario &run, uint32_t port) {
  std::vector<std::string> texts;
  std::optional<std::string> open;
  for (const Json &e : IoOn(run, port, port)) {
    const uint64_t value = U64(e["value"]);
    if (e["dir"] == "out" && e["width"] == 32 && value == kFrameStart && !open) {
      open.emplace();
    } else if (e["dir"] == "out" && e["width"] == 32 && value == kFrameEnd && open) {
      texts.push_back(*open);
      open.reset();
    } else if (e["dir"] == "out" && e["width"] == 8 && open) {
      open->push_back(static_cast<char>(value));
    } else {
      ADD_FAILURE() << "access outside the framing: " << e.dump();
    }
  }
  if (open)
    ADD_FAILURE() << "frame never closed after \"" << *open << "\"";
  return texts;
}

// The breakpoint channel's traffic in order: "notice Ta" for the 16-bit write of a text's first
// two bytes to 0xFFED, "trap <length> <text the agent collected>" for each hand-over to 0x99CC.
std::vector<std::string> AgentTraffic(const Scenario &run) {
  std::vector<std::string> traffic;
  for (const Json &e : run.Of("io")) {
    const uint64_t port = U64(e["port"]);
    if (port == kGatherNoticePort) {
      EXPECT_EQ(e["width"], 16);
      const uint64_t value = U64(e["value"]);
      traffic.push_back(std::string("notice ") + static_cast<char>(value & 0xFF) +
                        static_cast<char>(value >> 8));
    } else if (port == kBreakpointPort) {
      EXPECT_EQ(e["width"], 32);
      EXPECT_EQ(U64(e["edx"]), kBreakpointTag);
      EXPECT_EQ(e["value"], e["eax"]);
      traffic.push_back("trap " + std::to_string(U64(e["ebx"])) + " " +
                        Unhex(e["text"].get<std::string>()));
    }
  }
  return traffic;
}

std::vector<std::string> Traps(std::initializer_list<std::string> texts) {
  std::vector<std::string> traps;
  for (const std::string &text : texts)
    traps.push_back("trap " + std::to_string(text.size()) + " " + text);
  return traps;
}

// Writes to MSRs, debug registers and CR4, in order: "msr 0xC001100A=0x11", "dr7=0x2000420".
std::vector<std::string> CpuWrites(const Scenario &run) {
  std::vector<std::string> writes;
  for (const Json &e : run.events()) {
    if (e.value("dir", "") != "write")
      continue;
    if (e["ev"] == "msr")
      writes.push_back("msr " + HexNumber(U64(e["index"])) + "=" + HexNumber(U64(e["value"])));
    else if (e["ev"] == "dr")
      writes.push_back("dr" + std::to_string(U64(e["reg"])) + "=" + HexNumber(U64(e["value"])));
    else if (e["ev"] == "cr4")
      writes.push_back("cr4=" + HexNumber(U64(e["value"])));
  }
  return writes;
}

const std::vector<std::string> kArmingWrites = {"msr 0xC001100A=0x1", "dr2=0x99CC", "dr7=0x2000420",
                                                "cr4=0x8"};

// The channel an access belongs to, by the ports each one uses on these boards.
int ChannelOf(const Json &e) {
  if (e["ev"] != "io")
    return -1;
  const uint64_t port = U64(e["port"]);
  if (port == 0x80)
    return 0;
  if (port == kBreakpointPort || port == kGatherNoticePort)
    return 1;
  if (port >= 0x2F8 && port <= 0x2FF)
    return 2;
  if (port >= 0x3F8 && port <= 0x3FF)
    return 3;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// The dispatcher

// With printing off (as shipped) a message costs one byte test: no port, memory or debug
// register is touched after the start-up pass, which only asks the breakpoint channel whether an
// agent claimed debug register 2.
TEST(DebugDispatcher, PrintingOffTouchesNoHardware) {
  Scenario run(kTwoMessages);
  ASSERT_EQ(run.Of("communicate").size(), 1u) << "the ready-to-boot callback must have run";
  EXPECT_TRUE(run.Of("io").empty());
  EXPECT_TRUE(run.Of("mmio").empty());
  EXPECT_TRUE(CpuWrites(run).empty());
  const long entry = run.IndexOf("entry");
  for (const Json &e : run.Of("dr")) {
    EXPECT_EQ(e["reg"], 2);
    EXPECT_LT(e["seq"].get<long>(), entry) << "debug register read while printing";
  }
  EXPECT_EQ(Final(run)["uart_text"]["1016"], "");
  EXPECT_EQ(Final(run)["port80"], Json::array());
}

// Every message is offered to the four channels in table order: framed port, breakpoint,
// configurable serial, legacy UART.
TEST(DebugDispatcher, ChannelsServeEachMessageInTableOrder) {
  Scenario run(std::string(kPrintingOnOwnUart) + kTwoMessages);
  std::vector<int> order;
  for (const Json &e : run.Of("io")) {
    const int channel = ChannelOf(e);
    if (order.empty() || order.back() != channel)
      order.push_back(channel);
  }
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
}

// A channel whose filter lacks the message level (bit 50) is skipped, and only that one: the
// trace buffer's filter applies to the breakpoint channel alone, and each channel starts again
// from DefaultDebugFilter.
TEST(DebugDispatcher, FilterWithoutTheLevelSkipsOnlyItsChannel) {
  {
    SCOPED_TRACE("trace buffer filter without bit 50");
    Scenario run(std::string(kPrintingOnOwnUart) + R"(
[cpu]
dr3 = 1
[[heap]]
handle = 0xA014
trace_buffer = { capacity = 16, enable = 1, buffered = 0, filter = 0x100001008A300408 }
)" + kTwoMessages);
    EXPECT_TRUE(AgentTraffic(run).empty());
    EXPECT_EQ(FramedTexts(run, 0x80), (std::vector<std::string>{kAllocationText, kCloseTableText}));
    EXPECT_EQ(Final(run)["uart_text"]["760"], CrLf(kAllocationText) + CrLf(kCloseTableText));
    EXPECT_EQ(Final(run)["uart_text"]["1016"], std::string(kAllocationText) + kCloseTableText);
  }
  {
    SCOPED_TRACE("default filter without bit 50, trace buffer filter with it");
    Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
DefaultDebugFilter = 0x100001008A300408
[cpu]
dr3 = 1
[[heap]]
handle = 0xA014
trace_buffer = { capacity = 16, enable = 1, buffered = 0, filter = 0x4000000000000 }
)" + std::string(kTwoMessages));
    EXPECT_EQ(AgentTraffic(run), Traps({kAllocationText, kCloseTableText}));
    EXPECT_TRUE(IoOn(run, 0x80, 0x80).empty());
    EXPECT_TRUE(IoOn(run, 0x3F8, 0x3FF).empty());
    EXPECT_EQ(Final(run)["uart_text"]["1016"], "");
  }
}

// ---------------------------------------------------------------------------------------------
// Framed port

TEST(FramedPortChannel, EachMessageGoesBetweenTheMarkersOnThePostCodePort) {
  Scenario run(std::string(kPrintingOnOwnUart) + kTwoMessages);
  EXPECT_EQ(FramedTexts(run, 0x80), (std::vector<std::string>{kAllocationText, kCloseTableText}));
}

TEST(FramedPortChannel, FramedPortAddressMovesTheFrames) {
  Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
FramedPortAddress = 0x84
)" + std::string(kTwoMessages));
  EXPECT_EQ(FramedTexts(run, 0x84), (std::vector<std::string>{kAllocationText, kCloseTableText}));
  EXPECT_TRUE(IoOn(run, 0x80, 0x80).empty());
}

// ---------------------------------------------------------------------------------------------
// Configurable serial port

// One line-status read (bit 5 shows at once) before each character, and CR before every LF.
TEST(ConfigurableSerialChannel, IoUartGetsCrBeforeLf) {
  Scenario run(std::string(kPrintingOnOwnUart) + kTwoMessages);
  const std::string wire = CrLf(kAllocationText) + CrLf(kCloseTableText);
  EXPECT_EQ(Final(run)["uart_text"]["760"], wire);
  std::vector<std::pair<std::string, size_t>> expected;
  for (size_t i = 0; i < wire.size(); ++i) {
    expected.emplace_back("in 0x2FD", 1);
    expected.emplace_back("out 0x2F8", 1);
  }
  EXPECT_EQ(AccessRuns(IoOn(run, 0x2F8, 0x2FF)), expected);
}

// 0xFFFF is still an I/O base: the status port is the low 16 bits of base + 5.
TEST(ConfigurableSerialChannel, BaseFFFFUsesIoPorts) {
  Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0xFFFF
[[boot]]
dispatch = "S3SaveSmm"
)");
  const std::vector<Json> status = IoOn(run, 0x0004, 0x0004);
  ASSERT_EQ(status.size(), CrLf(kAllocationText).size());
  for (const Json &e : status) {
    EXPECT_EQ(e["dir"], "in");
    EXPECT_EQ(e["width"], 8);
  }
  EXPECT_EQ(WrittenText(IoOn(run, 0xFFFF, 0xFFFF)), CrLf(kAllocationText));
  EXPECT_TRUE(run.Of("mmio").empty());
}

// Above 0xFFFF the UART is memory-mapped with registers four bytes apart: LSR at base + 0x14.
TEST(ConfigurableSerialChannel, Base10000UsesMemoryWithStatusAt14) {
  Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x10000
[[uart]]
base = 0x10000
[[boot]]
dispatch = "S3SaveSmm"
)");
  const std::string wire = CrLf(kAllocationText);
  EXPECT_EQ(Final(run)["uart_text"]["65536"], wire);
  const std::vector<Json> mmio = run.Of("mmio");
  ASSERT_EQ(mmio.size(), 2 * wire.size());
  for (size_t i = 0; i < mmio.size(); i += 2) {
    EXPECT_EQ(mmio[i]["dir"], "read");
    EXPECT_EQ(mmio[i]["addr"], 0x10014);
    EXPECT_EQ(mmio[i]["width"], 8);
    EXPECT_EQ(mmio[i + 1]["dir"], "write");
    EXPECT_EQ(mmio[i + 1]["addr"], 0x10000);
    EXPECT_EQ(mmio[i + 1]["width"], 8);
  }
  EXPECT_TRUE(IoOn(run, 0x0000, 0x0007).empty());
}

// Each character waits for the holding register for at most 2000 status reads; a character that
// never gets it is dropped and the next one waits afresh.
TEST(ConfigurableSerialChannel, StatusWaitsAreBoundedPerCharacter) {
  {
    SCOPED_TRACE("ready after 3 reads");
    Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x2F8
[[uart]]
base = 0x2F8
ready_after = 3
[[boot]]
dispatch = "S3SaveSmm"
)");
    const std::string wire = CrLf(kAllocationText);
    EXPECT_EQ(Final(run)["uart_text"]["760"], wire);
    std::vector<std::pair<std::string, size_t>> expected;
    for (size_t i = 0; i < wire.size(); ++i) {
      expected.emplace_back("in 0x2FD", 4);
      expected.emplace_back("out 0x2F8", 1);
    }
    EXPECT_EQ(AccessRuns(IoOn(run, 0x2F8, 0x2FF)), expected);
  }
  {
    SCOPED_TRACE("never ready");
    Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x2F8
[[uart]]
base = 0x2F8
ready_after = "never"
[[boot]]
dispatch = "S3SaveSmm"
)");
    EXPECT_EQ(Final(run)["uart_text"]["760"], "");
    const size_t characters = CrLf(kAllocationText).size();
    EXPECT_EQ(AccessRuns(IoOn(run, 0x2F8, 0x2FF)),
              (std::vector<std::pair<std::string, size_t>>{{"in 0x2FD", 2000 * characters}}));
    // The dropped text does not keep the next channel from its turn.
    EXPECT_EQ(Final(run)["uart_text"]["1016"], kAllocationText);
  }
}

// ---------------------------------------------------------------------------------------------
// Legacy UART

// LF goes out alone, in bursts of at most 16 bytes, each after the transmitter-empty wait.
TEST(LegacyUartChannel, SendsLfAloneIn16ByteBursts) {
  Scenario run(std::string(kPrintingOnOwnUart) + R"(
[[uart]]
base = 0x3F8
ready_after = 2
)" + kTwoMessages);
  EXPECT_EQ(Final(run)["uart_text"]["1016"], std::string(kAllocationText) + kCloseTableText);
  // 32 bytes: 16 + 16; 29 bytes: 16 + 13. Each wait is 2 busy reads and the one that shows ready.
  EXPECT_EQ(AccessRuns(IoOn(run, 0x3F8, 0x3FF)),
            (std::vector<std::pair<std::string, size_t>>{{"in 0x3FD", 3},
                                                         {"out 0x3F8", 16},
                                                         {"in 0x3FD", 3},
                                                         {"out 0x3F8", 16},
                                                         {"in 0x3FD", 3},
                                                         {"out 0x3F8", 16},
                                                         {"in 0x3FD", 3},
                                                         {"out 0x3F8", 13}}));
}

TEST(LegacyUartChannel, GivesUpAfter65535StatusReads) {
  Scenario run(std::string(kPrintingOnOwnUart) + R"(
[[uart]]
base = 0x3F8
ready_after = "never"
[[boot]]
dispatch = "S3SaveSmm"
)");
  EXPECT_EQ(Final(run)["uart_text"]["1016"], "");
  EXPECT_EQ(AccessRuns(IoOn(run, 0x3F8, 0x3FF)),
            (std::vector<std::pair<std::string, size_t>>{{"in 0x3FD", 65535}}));
}

// ---------------------------------------------------------------------------------------------
// Breakpoint channel: presence and arming

// BreakpointChannelEnable 0 removes the channel even when an agent has claimed the breakpoint:
// the processor is neither asked nor armed and no text is handed over.
TEST(BreakpointChannel, DisabledChannelLeavesTheProcessorAlone) {
  Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
BreakpointChannelEnable = 0
[cpu]
dr2 = 0x99CC
dr3 = 1
msr = { "0xC001100A" = 1 }
dr7 = 0x2000420
cr4 = 0x8
[[heap]]
handle = 0xA014
trace_buffer = { capacity = 16, enable = 1, buffered = 0, filter = 0x4000000000000 }
)" + std::string(kTwoMessages));
  EXPECT_TRUE(run.Of("dr").empty());
  EXPECT_TRUE(run.Of("cr4").empty());
  EXPECT_TRUE(run.Of("msr", Field("index", kBreakpointMsr)).empty());
  EXPECT_TRUE(AgentTraffic(run).empty());
  EXPECT_EQ(FramedTexts(run, 0x80), (std::vector<std::string>{kAllocationText, kCloseTableText}));
}

// Unless DebugPrintEnable is exactly 1, the channel is present only when debug register 2
// already holds 0x99CC. Present, it is armed in the start-up pass; it hands text over only when
// printing is on at all.
TEST(BreakpointChannel, UnlessPrintEnableIsOnePresenceFollowsDebugRegister2) {
  struct Case {
    const char *printEnable;
    const char *dr2;
    bool present;
    bool printing;
  };
  for (const Case &c : {Case{"0", "0", false, false}, Case{"0", "0x99CC", true, false},
                        Case{"2", "0", false, true}, Case{"2", "0x99CC", true, true}}) {
    SCOPED_TRACE(std::string("DebugPrintEnable = ") + c.printEnable + ", dr2 = " + c.dr2);
    Scenario run(std::string("[s3savesmm]\nDebugPrintEnable = ") + c.printEnable +
                 "\n[cpu]\ndr2 = " + c.dr2 + "\n" + kTwoMessages);
    if (c.present) {
      EXPECT_EQ(CpuWrites(run), kArmingWrites);
      EXPECT_LT(run.IndexOf("cr4", Field("dir", "write")), run.IndexOf("pcd_get"));
    } else {
      EXPECT_TRUE(CpuWrites(run).empty());
      EXPECT_FALSE(Final(run)["msr"].contains("0xC001100A"));
      EXPECT_EQ(Final(run)["dr"]["7"], 0);
      EXPECT_EQ(Final(run)["cr4"], 0);
    }
    EXPECT_EQ(AgentTraffic(run), c.present && c.printing ? Traps({kAllocationText, kCloseTableText})
                                                         : std::vector<std::string>{});
    // Any non-zero value switches printing on for the framed port.
    EXPECT_EQ(FramedTexts(run, 0x80).size(), c.printing ? 2u : 0u);
  }
}

// Arming sets MSR 0xC001100A bit 0, points debug register 2 at the port, replaces debug register
// 7 and sets CR4.DE, keeping the other MSR and CR4 bits.
TEST(BreakpointChannel, ArmingWritesEachRegisterOnceInOrder) {
  Scenario run(R"(
[s3savesmm]
DebugPrintEnable = 1
[cpu]
msr = { "0xC001100A" = 0x10 }
dr7 = 0x400
cr4 = 0x20
[[boot]]
dispatch = "S3SaveSmm"
)");
  EXPECT_EQ(CpuWrites(run), (std::vector<std::string>{"msr 0xC001100A=0x11", "dr2=0x99CC",
                                                      "dr7=0x2000420", "cr4=0x28"}));
  EXPECT_LT(run.IndexOf("cr4", Field("dir", "write")), run.IndexOf("pcd_get"))
      << "armed in the start-up pass, before the S3 set-up";
  EXPECT_EQ(Final(run)["msr"]["0xC001100A"], 0x11);
  EXPECT_EQ(Final(run)["dr"]["2"], 0x99CC);
  EXPECT_EQ(Final(run)["dr"]["7"], 0x2000420);
  EXPECT_EQ(Final(run)["cr4"], 0x28);
  // Armed, the agent collects the allocation message.
  EXPECT_EQ(AgentTraffic(run), Traps({kAllocationText}));
}

// A processor counts as armed only with all three conditions; then nothing is written. Missing
// any one of them re-arms the whole breakpoint.
TEST(BreakpointChannel, OnlyAnUnarmedProcessorIsArmed) {
  struct Case {
    const char *name;
    const char *cpu;
    bool armed;
  };
  const Case cases[] = {
      {"armed", R"(msr = { "0xC001100A" = 1 }
dr7 = 0x2000420
cr4 = 0x8)",
       true},
      {"armed, with other bits set", R"(msr = { "0xC001100A" = 0x3 }
dr7 = 0x2000423
cr4 = 0x28)",
       true},
      {"MSR bit 0 clear", R"(msr = { "0xC001100A" = 0 }
dr7 = 0x2000420
cr4 = 0x8)",
       false},
      {"DR7 lacks the I/O type", R"(msr = { "0xC001100A" = 1 }
dr7 = 0x420
cr4 = 0x8)",
       false},
      {"DR7 lacks bit 10", R"(msr = { "0xC001100A" = 1 }
dr7 = 0x2000020
cr4 = 0x8)",
       false},
      {"CR4.DE clear", R"(msr = { "0xC001100A" = 1 }
dr7 = 0x2000420
cr4 = 0x0)",
       false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(std::string(R"(
[s3savesmm]
DebugPrintEnable = 1
[cpu]
dr2 = 0x99CC
)") + c.cpu + R"(
[[boot]]
dispatch = "S3SaveSmm"
)");
    if (c.armed) {
      EXPECT_TRUE(CpuWrites(run).empty());
    } else {
      ASSERT_EQ(CpuWrites(run).size(), 4u);
      EXPECT_EQ(Final(run)["dr"]["7"], 0x2000420);
      EXPECT_EQ(U64(Final(run)["msr"]["0xC001100A"]) & 1, 1u);
      EXPECT_EQ(U64(Final(run)["cr4"]) & 0x8, 0x8u);
    }
    EXPECT_EQ(AgentTraffic(run), Traps({kAllocationText}));
  }
}

// ---------------------------------------------------------------------------------------------
// Breakpoint channel: the trace buffer (heap handle 0xA014, signalled by debug register 3)

// Printing on, debug register 3 set and one heap record: `heapKeys` are its keys besides
// `handle`.
std::string TraceBufferBoard(const std::string &heapKeys, const std::string &dr3 = "1",
                             const std::string &handle = "0xA014") {
  return std::string(kPrintingOnOwnUart) + "[cpu]\ndr3 = " + dr3 +
         "\n[[heap]]\nhandle = " + handle + "\n" + heapKeys + "\n";
}

// Ready-to-boot without a table prints two messages, the second starting with "mT".
constexpr char kThreeMessages[] = R"(
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
signal = "ready_to_boot"
)";

// Gathered text stays in the buffer; a full buffer (Capacity 4) is handed over whole when the
// next byte arrives. Each call first announces its first two bytes on 0xFFED. The buffer starts
// with Count 2 ("xy"), and the 32-byte first message leaves Count 2 ("n\n"), which the second
// message hands over with its first two bytes.
TEST(TraceBuffer, GatheringHandsOverOnlyFullBuffers) {
  Scenario run(TraceBufferBoard(R"(trace_buffer = { capacity = 4, count = 2, data = "7879", )"
                                R"(enable = 1, buffered = 1, filter = 0x4000000000000 })") +
               kThreeMessages);
  std::vector<std::string> expected = {"notice Ta"};
  for (const std::string &t :
       Traps({"xyTa", "rnS3", "LibP", "riva", "teDa", "ta a", "lloc", "atio"}))
    expected.push_back(t);
  expected.push_back("notice Ta");
  for (const std::string &t : Traps({"n\nTa", "rnS3", "Save", "Clos", "eTab", "leCa", "llBa"}))
    expected.push_back(t);
  expected.push_back("notice mT");
  for (const std::string &t :
       Traps({"ck\nm", "Tarn", "S3Li", "bPri", "vate", "Data", " is ", "NULL"}))
    expected.push_back(t);
  EXPECT_EQ(AgentTraffic(run), expected);

  // Every hand-over names the buffer's Data area.
  const std::vector<Json> traps = IoOn(run, kBreakpointPort, kBreakpointPort);
  ASSERT_FALSE(traps.empty());
  for (const Json &trap : traps)
    EXPECT_EQ(trap["eax"], traps.front()["eax"]);
  // The other channels still get every message whole.
  EXPECT_EQ(Final(run)["uart_text"]["1016"],
            std::string(kAllocationText) + kCloseTableText + kNoRecordText);
}

// A call that finds the buffer full hands it over at its first byte, after the call's notice.
TEST(TraceBuffer, FullBufferIsHandedOverAfterTheNotice) {
  Scenario run(TraceBufferBoard(R"(trace_buffer = { capacity = 4, count = 4, data = "7778797A", )"
                                R"(enable = 1, buffered = 1, filter = 0x4000000000000 })") +
               "[[boot]]\ndispatch = \"S3SaveSmm\"\n");
  std::vector<std::string> expected = {"notice Ta"};
  for (const std::string &t :
       Traps({"wxyz", "Tarn", "S3Li", "bPri", "vate", "Data", " all", "ocat"}))
    expected.push_back(t);
  EXPECT_EQ(AgentTraffic(run), expected);
}

// Not buffered (any value but 1): each message is one trap with its own text and length.
TEST(TraceBuffer, UnbufferedTextIsHandedOverDirectly) {
  for (const char *buffered : {"0", "2"}) {
    SCOPED_TRACE(std::string("buffered = ") + buffered);
    Scenario run(TraceBufferBoard(std::string("trace_buffer = { capacity = 4, enable = 1, ") +
                                  "buffered = " + buffered + ", filter = 0x4000000000000 }") +
                 kTwoMessages);
    EXPECT_EQ(AgentTraffic(run), Traps({kAllocationText, kCloseTableText}));
  }
}

// Enable other than 1 drops the text; the other channels are unaffected.
TEST(TraceBuffer, EnableOtherThanOneDropsText) {
  for (const char *enable : {"0", "2"}) {
    SCOPED_TRACE(std::string("enable = ") + enable);
    Scenario run(TraceBufferBoard(std::string("trace_buffer = { capacity = 4, enable = ") + enable +
                                  ", buffered = 1, filter = 0x4000000000000 }") +
                 kTwoMessages);
    EXPECT_TRUE(AgentTraffic(run).empty());
    EXPECT_EQ(FramedTexts(run, 0x80), (std::vector<std::string>{kAllocationText, kCloseTableText}));
  }
}

// Without a usable trace buffer the channel hands each text over directly, whatever the unusable
// buffer's own Enable, Buffered and Filter say. A heap buffer smaller than the 0x201-byte header
// plus Capacity is not used, so that gathering never writes past it.
TEST(TraceBuffer, WithoutAUsableBufferTextIsHandedOverDirectly) {
  // Gathering, dropping or filtering would all show if one of these buffers were used.
  const std::string silent = "enable = 1, buffered = 1, filter = 0";
  struct Case {
    const char *name;
    std::string heap;
    const char *dr3 = "1";
    const char *handle = "0xA014";
  };
  const std::string buffer = "trace_buffer = { capacity = 4, " + silent + " }";
  const Case cases[] = {
      {"wrong signature",
       "trace_buffer = { capacity = 4, signature = 0xDB1099CD, " + silent + " }"},
      {"debug register 3 is 0", buffer, "0"},
      {"other handle", buffer, "1", "0xA015"},
      {"one byte short of header and capacity", buffer + "\nsize = 0x204"},
      {"shorter than the header", buffer + "\nsize = 0x100"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(TraceBufferBoard(c.heap, c.dr3, c.handle) + kTwoMessages);
    EXPECT_EQ(AgentTraffic(run), Traps({kAllocationText, kCloseTableText}));
  }
}

// The boundary of the size rule: header plus Capacity exactly is a usable buffer.
TEST(TraceBuffer, BufferOfExactlyHeaderPlusCapacityIsUsed) {
  Scenario run(TraceBufferBoard("trace_buffer = { capacity = 4, enable = 1, buffered = 1, "
                                "filter = 0x4000000000000 }\nsize = 0x205") +
               "[[boot]]\ndispatch = \"S3SaveSmm\"\n");
  const std::vector<std::string> traffic = AgentTraffic(run);
  ASSERT_FALSE(traffic.empty());
  EXPECT_EQ(traffic.front(), "notice Ta");
  EXPECT_EQ(traffic.size(), 8u); // the notice and seven full buffers of the 32-byte message
}

} // namespace
} // namespace boardsim::testing
