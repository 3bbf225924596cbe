#include "CpuModel.h"
#include <gtest/gtest.h>

#include "Debug/ErrorStop.h"

namespace {

constexpr uint32_t kPStateStatus = 0xC0010063;
constexpr uint32_t kPState0 = 0xC0010064;

constexpr PortWrite Marker{0xE0, 16, 0xDEAD};
constexpr PortWrite PostCode(uint32_t Value) {
  return {0x80, 32, Value};
}

// Runs ErrorStop until the model has seen Limit port writes.
void RunErrorStop(CpuModel &Cpu, uint32_t Code, size_t Limit) {
  Cpu.WriteLimit = Limit;
  EXPECT_THROW(ErrorStop(Code), WriteLimitReached);
}

struct DisplayCase {
  uint32_t Code;
  std::vector<uint32_t> Cycle;
};

class ErrorStopDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(ErrorStopDisplay, AnnouncesTheCodeThenCyclesMarkerAndCodeBytes) {
  const DisplayCase &Case = GetParam();
  CpuModel Cpu;
  RunErrorStop(Cpu, Case.Code, 2 + 3 * 6);

  std::vector<PortWrite> Expected = {Marker, PostCode(Case.Code)};
  for (int Round = 0; Round < 3; Round++) {
    for (uint32_t Value : Case.Cycle) {
      Expected.push_back(PostCode(Value));
    }
  }
  EXPECT_EQ(Cpu.Writes, Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorStopDisplay,
    testing::Values(
        DisplayCase{0x00010133,
                    {0x330000DE, 0x0000DEAD, 0x00DEAD00, 0xDEAD0001, 0xAD000101, 0x00010133}},
        DisplayCase{0x12345678,
                    {0x780000DE, 0x0000DEAD, 0x00DEAD12, 0xDEAD1234, 0xAD123456, 0x12345678}},
        DisplayCase{0, {0x000000DE, 0x0000DEAD, 0x00DEAD00, 0xDEAD0000, 0xAD000000, 0x00000000}}));

TEST(ErrorStop, WaitsOneDisplayPeriodAfterEachCycleValueOnly) {
  CpuModel Cpu;
  // FID 1 / DID 1: one period is 500,000,000 ticks, i.e. two pauses of 300,000,000.
  Cpu.Msrs[kPState0] = 0x0101;
  Cpu.TscStepPerRead = 0;
  Cpu.TscStepPerPause = 300'000'000;
  RunErrorStop(Cpu, 0x00090672, 2 + 7);

  std::vector<size_t> PausesBeforeWrite;
  size_t Pauses = 0;
  for (CpuEvent Event : Cpu.Events) {
    if (Event == CpuEvent::Pause) {
      Pauses++;
    } else if (Event == CpuEvent::PortWrite) {
      PausesBeforeWrite.push_back(Pauses);
      Pauses = 0;
    }
  }
  EXPECT_EQ(PausesBeforeWrite, (std::vector<size_t>{0, 0, 0, 2, 2, 2, 2, 2, 2}));
}

TEST(ErrorStop, ReleasedByTheProbeAfterTheAnnouncement) {
  CpuModel Cpu;
  Cpu.ProbeAnswer = 0x0001;
  EXPECT_EQ(ErrorStop(0x00070268), FALSE);

  EXPECT_EQ(Cpu.Writes, (std::vector<PortWrite>{Marker, PostCode(0x00070268)}));
  ASSERT_EQ(Cpu.Probes.size(), 1u);
  EXPECT_EQ(Cpu.Probes[0].Eax, 0xBACCD00Bu);
  EXPECT_EQ(Cpu.Probes[0].Ebx, 2u);
  EXPECT_EQ(Cpu.Probes[0].Si, 0u);
  // The probe comes after both announcement writes, and no display period starts.
  EXPECT_EQ(Cpu.Events,
            (std::vector<CpuEvent>{CpuEvent::PortWrite, CpuEvent::PortWrite, CpuEvent::Probe}));
}

// P-state definition with the given FID and DID and every bit above the DID field set.
constexpr uint64_t PState(uint64_t Fid, uint64_t Did) {
  return 0xFFFFFFFFFFFFC000ull | (Did << 8) | Fid;
}

// Pauses of one display period with a TSC that only PAUSE advances, by Step.
size_t PausesInOnePeriod(uint64_t Definition, uint64_t Step) {
  CpuModel Cpu;
  Cpu.Msrs[kPState0] = Definition;
  Cpu.TscStepPerRead = 0;
  Cpu.TscStepPerPause = Step;
  WaitDisplayPeriod();
  return Cpu.Count(CpuEvent::Pause);
}

TEST(DisplayPeriod, ReadsTheCurrentPStateDefinitionBeforeTheStartTime) {
  CpuModel Cpu;
  Cpu.Msrs[kPStateStatus] = 0xFD; // current P-state 5
  Cpu.Msrs[kPState0 + 5] = PState(0, 1);
  WaitDisplayPeriod();

  EXPECT_EQ(Cpu.MsrReads, (std::vector<uint32_t>{kPStateStatus, kPState0 + 5}));
  ASSERT_GE(Cpu.Events.size(), 3u);
  EXPECT_EQ(Cpu.Events[2], CpuEvent::TscRead);
}

TEST(DisplayPeriod, LastsTheFidDidQuotientTimesHalfABillionTicks) {
  // Q = 30 / 10 = 3: 1,500,000,000 ticks. The TSC reaching Start + ticks exactly does not end
  // the wait; the next step past it does.
  EXPECT_EQ(PausesInOnePeriod(PState(30, 10), 100'000'000), 16u);
  // Q = 255 / 63 = 4 with every FID and DID bit set: 2,000,000,000 ticks.
  EXPECT_EQ(PausesInOnePeriod(PState(0xFF, 0x3F), 500'000'000), 5u);
  // The largest quotient, 255: 127,500,000,000 ticks.
  EXPECT_EQ(PausesInOnePeriod(PState(0xFF, 1), 1'000'000'000), 128u);
}

TEST(DisplayPeriod, DidZeroCountsAsOne) {
  EXPECT_EQ(PausesInOnePeriod(PState(7, 0), 500'000'000), 8u);
  EXPECT_EQ(PausesInOnePeriod(PState(7, 1), 500'000'000), 8u);
  EXPECT_EQ(PausesInOnePeriod(PState(7, 2), 500'000'000), 4u);
}

TEST(DisplayPeriod, FidBelowDidEndsAtTheFirstReadAfterStart) {
  CpuModel Cpu;
  Cpu.Msrs[kPState0] = PState(3, 4);
  Cpu.TscStepPerRead = 1;
  Cpu.TscStepPerPause = 1'000'000;
  WaitDisplayPeriod();

  EXPECT_EQ(Cpu.TscReads.size(), 2u);
  EXPECT_EQ(Cpu.Count(CpuEvent::Pause), 0u);
}

} // namespace
