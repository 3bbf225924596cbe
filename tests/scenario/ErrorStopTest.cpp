// The error stop of the S3 save SMM driver as the POST-code ports and the processor see it, reached
// through a heap record whose SMRAM node cannot be allocated: the announcement, the display cycle,
// the release probe and the display period worked out from the P-state MSRs.
#include "Scenario.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim::testing {
namespace {

constexpr uint32_t kNoSmramForKind8 = 0x70177;
constexpr uint32_t kNoSmramForOtherKind = 0x70180;
constexpr uint64_t kPStateStatusMsr = 0xC0010063;
constexpr uint64_t kPStateDefinition0Msr = 0xC0010064;
constexpr uint64_t kTicksPerQuotient = 500000000;

// The six port 0x80 values of one display cycle, as documented for each code.
const std::vector<uint64_t> kCycleOf70177 = {0x770000DE, 0x0000DEAD, 0x00DEAD00,
                                             0xDEAD0007, 0xAD000701, 0x00070177};
const std::vector<uint64_t> kCycleOf70180 = {0x800000DE, 0x0000DEAD, 0x00DEAD00,
                                             0xDEAD0007, 0xAD000701, 0x00070180};

// One heap record; the second SMRAM allocation of the image (the first is the SMRAM range table)
// is its node, and it fails.
std::string NodeAllocationFails(unsigned kind, const std::string &more = "") {
  return more + R"(
[[heap]]
handle = 0x41
kind = )" +
         std::to_string(kind) +
         R"(
data = "00112233"
[[fault]]
call = "smm.SmmAllocatePool"
nth = 2
[[boot]]
dispatch = "S3SaveSmm"
)";
}

struct PortWrite {
  uint64_t port;
  uint64_t width;
  uint64_t value;
  bool operator==(const PortWrite &) const = default;
};

void PrintTo(const PortWrite &w, std::ostream *os) {
  *os << std::hex << "{0x" << w.port << ", " << std::dec << w.width << ", 0x" << std::hex << w.value
      << "}";
}

// Every write to the two POST-code ports, in order.
std::vector<PortWrite> PostCodeWrites(const Scenario &run) {
  std::vector<PortWrite> writes;
  for (const Json &e : run.Of("io", Field("dir", "out"))) {
    uint64_t port = e["port"];
    if (port == 0x80 || port == 0xE0)
      writes.push_back({port, e["width"], e["value"]});
  }
  return writes;
}

// The announcement of `code` followed by `cycles` display cycles.
std::vector<PortWrite> ExpectedStop(uint64_t code, const std::vector<uint64_t> &cycle,
                                    unsigned cycles) {
  std::vector<PortWrite> writes = {{0xE0, 16, 0xDEAD}, {0x80, 32, code}};
  for (unsigned n = 0; n < cycles; ++n)
    for (uint64_t value : cycle)
      writes.push_back({0x80, 32, value});
  return writes;
}

// What the processor did between one display write and the next.
struct Wait {
  std::vector<uint64_t> msrsRead;
  std::vector<uint64_t> tscReads; // the first is Start
  unsigned pauses = 0;
};

// The waits of an error stop in display order: each begins after a display write to port 0x80
// (the announcement's code write is followed by the probe, not a wait).
std::vector<Wait> DisplayWaits(const Scenario &run) {
  std::vector<Wait> waits;
  bool displaying = false;
  for (const Json &e : run.events()) {
    const std::string ev = e.value("ev", "");
    if (ev == "cpuid")
      displaying = true;
    if (!displaying)
      continue;
    if (ev == "io" && e["port"] == 0x80) {
      waits.emplace_back();
    } else if (waits.empty()) {
      continue;
    } else if (ev == "msr") {
      waits.back().msrsRead.push_back(e["index"]);
    } else if (ev == "tsc") {
      waits.back().tscReads.push_back(e["value"]);
    } else if (ev == "pause") {
      ++waits.back().pauses;
    }
  }
  // The run halts right after the last display write: that one has no wait.
  if (!waits.empty() && waits.back().tscReads.empty())
    waits.pop_back();
  return waits;
}

// A board whose current P-state and its definition are given, with `tscPerPause` ticks a PAUSE.
std::string PState(uint64_t status, uint64_t definition, uint64_t tscPerPause) {
  const uint64_t index = kPStateDefinition0Msr + (status & 7);
  char text[160];
  std::snprintf(text, sizeof text,
                "[cpu]\nmsr = { \"0xC0010063\" = 0x%llX, \"0x%llX\" = 0x%llX }\n"
                "tsc_per_pause = %llu\n",
                static_cast<unsigned long long>(status), static_cast<unsigned long long>(index),
                static_cast<unsigned long long>(definition),
                static_cast<unsigned long long>(tscPerPause));
  return text;
}

// Checks that each wait read the P-state MSRs, then Start, and paused until the first TSC
// reading past Start + ticks.
void ExpectWaitsOf(const Scenario &run, uint64_t definitionMsr, uint64_t ticks,
                   uint64_t tscPerPause, size_t expectedWaits) {
  const std::vector<Wait> waits = DisplayWaits(run);
  ASSERT_EQ(waits.size(), expectedWaits);
  const unsigned pauses = unsigned(ticks / tscPerPause) + 1;
  for (size_t n = 0; n < waits.size(); ++n) {
    SCOPED_TRACE("wait " + std::to_string(n));
    const Wait &wait = waits[n];
    EXPECT_EQ(wait.msrsRead, (std::vector<uint64_t>{kPStateStatusMsr, definitionMsr}));
    EXPECT_EQ(wait.pauses, pauses);
    // Start, then one reading before the first PAUSE and one after each.
    ASSERT_EQ(wait.tscReads.size(), pauses + 2u);
    const uint64_t start = wait.tscReads.front();
    EXPECT_GT(wait.tscReads.back(), start + ticks);
    EXPECT_LE(wait.tscReads[wait.tscReads.size() - 2], start + ticks);
  }
}

TEST(ErrorStopDisplay, KindEightShowsItsCodeUntilTheRunHalts) {
  Scenario run(NodeAllocationFails(8));
  EXPECT_TRUE(run.halted());
  EXPECT_EQ(run.final()["outcome"], "halted");
  EXPECT_EQ(PostCodeWrites(run), ExpectedStop(kNoSmramForKind8, kCycleOf70177, 2));
  EXPECT_EQ(run.final()["error_stops"], Json::array({kNoSmramForKind8}));
  // The code write, then two cycles.
  ASSERT_EQ(run.final()["port80"].size(), 13u);
  EXPECT_EQ(run.final()["port80"][0], kNoSmramForKind8);
  // The processor never left the stop: the entry point did not return.
  EXPECT_LT(run.IndexOf("entry"), 0);
  // The last event before the final one is the cycle's last display write.
  ASSERT_GE(run.events().size(), 2u);
  const Json &last = run.events()[run.events().size() - 2];
  EXPECT_EQ(last["ev"], "io");
  EXPECT_EQ(last.value("value", uint64_t{0}), kCycleOf70177.back());
  const Json probe = run.First("cpuid");
  EXPECT_EQ(probe["eax"], 0xBACCD00B);
  EXPECT_EQ(probe["ebx"], 2);
  EXPECT_EQ(probe["si_out"], 0);
  EXPECT_TRUE(run.Faults().empty());
}

// Only a kind byte of exactly 8 selects the first code; 0x88 shares its low bits.
TEST(ErrorStopDisplay, EveryOtherKindShowsTheSecondCode) {
  for (unsigned kind : {0u, 7u, 9u, 0x88u}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    Scenario run(NodeAllocationFails(kind));
    EXPECT_TRUE(run.halted());
    EXPECT_EQ(PostCodeWrites(run), ExpectedStop(kNoSmramForOtherKind, kCycleOf70180, 2));
    EXPECT_EQ(run.final()["error_stops"], Json::array({kNoSmramForOtherKind}));
  }
}

// The board's cycle count decides how long the simulated processor sits in the loop; every
// cycle repeats the same six values.
TEST(ErrorStopDisplay, HaltsAfterTheConfiguredNumberOfCycles) {
  for (unsigned cycles : {1u, 3u}) {
    SCOPED_TRACE("cycles " + std::to_string(cycles));
    Scenario run(NodeAllocationFails(8, "[cpu]\nerror_stop_cycles = " + std::to_string(cycles)));
    EXPECT_TRUE(run.halted());
    EXPECT_EQ(PostCodeWrites(run), ExpectedStop(kNoSmramForKind8, kCycleOf70177, cycles));
    EXPECT_EQ(run.final()["port80"].size(), 1 + 6 * cycles);
  }
}

// An agent that answers the probe releases the stop after the two announcement writes: no
// display, no wait, and the start-up goes on past the skipped record to a normal end.
TEST(ErrorStopRelease, ProbeAnswerEndsTheStopAfterTheAnnouncement) {
  Scenario run(NodeAllocationFails(8, "[cpu]\nerror_stop_probe = 0x1234") + R"(
[[boot]]
smi = "s5_entry"
)");
  EXPECT_FALSE(run.halted());
  EXPECT_EQ(run.final()["outcome"], "completed");
  EXPECT_EQ(PostCodeWrites(run), ExpectedStop(kNoSmramForKind8, {}, 0));
  EXPECT_EQ(run.final()["port80"], Json::array({kNoSmramForKind8}));
  EXPECT_EQ(run.final()["error_stops"], Json::array({kNoSmramForKind8}));
  ASSERT_EQ(run.Of("cpuid").size(), 1u);
  EXPECT_EQ(run.First("cpuid")["si_out"], 0x1234);
  EXPECT_TRUE(run.Of("pause").empty());
  EXPECT_TRUE(run.Of("msr", Field("index", kPStateStatusMsr)).empty());
  EXPECT_EQ(run.Of("smi_register", Field("status", "EFI_SUCCESS")).size(), 2u);
  EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.final()["images"][0]["unloaded"], false);
  EXPECT_TRUE(run.Faults().empty());
}

// Each call site goes on after a released stop, so a second failure stops again with its own
// code.
TEST(ErrorStopRelease, EachReleasedStopIsAnnouncedInTurn) {
  Scenario run(R"(
[cpu]
error_stop_probe = 1
[[heap]]
handle = 1
kind = 8
data = "AA"
[[heap]]
handle = 2
kind = 3
data = "BB"
[[fault]]
call = "smm.SmmAllocatePool"
nth = 2
[[fault]]
call = "smm.SmmAllocatePool"
nth = 3
[[boot]]
dispatch = "S3SaveSmm"
)");
  EXPECT_EQ(run.final()["outcome"], "completed");
  std::vector<PortWrite> expected = ExpectedStop(kNoSmramForKind8, {}, 0);
  for (const PortWrite &w : ExpectedStop(kNoSmramForOtherKind, {}, 0))
    expected.push_back(w);
  EXPECT_EQ(PostCodeWrites(run), expected);
  EXPECT_EQ(run.final()["error_stops"], Json::array({kNoSmramForKind8, kNoSmramForOtherKind}));
  EXPECT_EQ(run.Of("cpuid").size(), 2u);
}

// P-state 2 of 0xFA's low three bits; its definition carries FID 0x14 and, in bits 13..8, DID 2
// (bits 14 to 62 are set and must be ignored): Q = 10, 5,000,000,000 ticks.
TEST(ErrorStopPeriod, QuotientOfTheCurrentPStateTimesHalfABillionTicks) {
  constexpr uint64_t kPerPause = 400000000;
  Scenario run(NodeAllocationFails(8, PState(0xFA, 0x7FFFFFFFFFFFC214, kPerPause)));
  EXPECT_TRUE(run.halted());
  // Two cycles: twelve display writes, and a wait after each but the one the run halted on.
  ExpectWaitsOf(run, kPStateDefinition0Msr + 2, 10 * kTicksPerQuotient, kPerPause, 11);
}

// A DID field of 0 counts as 1: FID 3 gives the same period either way.
TEST(ErrorStopPeriod, DidZeroCountsAsOne) {
  constexpr uint64_t kPerPause = 500000000;
  for (uint64_t definition : {0x0003u, 0x0103u}) {
    SCOPED_TRACE("definition " + std::to_string(definition));
    Scenario run(NodeAllocationFails(8, PState(0, definition, kPerPause)));
    EXPECT_TRUE(run.halted());
    ExpectWaitsOf(run, kPStateDefinition0Msr, 3 * kTicksPerQuotient, kPerPause, 11);
  }
}

// FID below DID gives Q = 0: each wait ends at the first TSC reading past Start, one PAUSE later.
TEST(ErrorStopPeriod, FidBelowDidWaitsForTheFirstTick) {
  constexpr uint64_t kPerPause = 7;
  Scenario run(NodeAllocationFails(8, PState(7, 0x0403, kPerPause)));
  EXPECT_TRUE(run.halted());
  ExpectWaitsOf(run, kPStateDefinition0Msr + 7, 0, kPerPause, 11);
  for (const Wait &wait : DisplayWaits(run))
    EXPECT_EQ(wait.tscReads.back(), wait.tscReads.front() + kPerPause);
}

// The largest quotient, 255, needs 127,500,000,000 ticks: more than 32 bits hold.
TEST(ErrorStopPeriod, LargestQuotientKeepsSixtyFourBitTicks) {
  constexpr uint64_t kPerPause = 50000000000;
  Scenario run(NodeAllocationFails(8, PState(1, 0x01FF, kPerPause)));
  EXPECT_TRUE(run.halted());
  ExpectWaitsOf(run, kPStateDefinition0Msr + 1, 255 * kTicksPerQuotient, kPerPause, 11);
}

} // namespace
} // namespace boardsim::testing
