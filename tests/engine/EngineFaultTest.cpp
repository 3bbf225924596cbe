// Module code that faults in the processor ends the run as a crash with a fault event naming the
// image, the offset and the function; the simulator itself goes on.
#include "Board/BoardParser.h"
#include "Core/Simulator.h"
#include "Engine/Emulator.h"

#include <gtest/gtest.h>

namespace boardsim::testing {
namespace {

RunResult RunBoard(std::string_view text, Engine engine, std::vector<Json> &events) {
  LoadResult loaded = ParseBoardText(text, "fault.toml");
  EXPECT_TRUE(loaded.board);
  SimOptions options;
  options.captureTrace = true;
  options.engine = engine;
  Simulator sim(*loaded.board, options);
  RunResult result = sim.Run();
  events = sim.trace().Events();
  return result;
}

RunResult RunImageEngine(std::string_view text, std::vector<Json> &events) {
  return RunBoard(text, Engine::Image, events);
}

// Stores of image code skip Unicorn's page collections (Emulator.cpp): after a boot, the
// library's calls reach the engine's own functions, in this executable as in boardsim.
TEST(ImageStores, SkipUnicornPageCollections) {
  std::vector<Json> events;
  ASSERT_EQ(RunImageEngine("", events).outcome, Outcome::Completed);
  EXPECT_TRUE(Emulator::SkipsPageCollections());
}

class ModuleFault : public ::testing::TestWithParam<Engine> {};

// The S3 hand-over message goes wherever PcdS3CommunicationBuffer points; here that is memory
// no board has. Both engines end the run as a crash; the host engine catches the processor
// fault its own process takes, and the simulator goes on to the next run.
TEST_P(ModuleFault, WriteToUnmappedMemoryEndsTheRunAsACrash) {
  for (int run = 0; run < 2; ++run) {
    std::vector<Json> events;
    RunResult result = RunBoard(R"([pcd]
PcdS3CommunicationBuffer = 0x10000
)",
                                GetParam(), events);
    EXPECT_EQ(result.outcome, Outcome::Crashed);
    EXPECT_EQ(result.final["outcome"], "crashed");
    ASSERT_GE(events.size(), 2u);
    const Json &fault = events[events.size() - 2];
    ASSERT_EQ(fault["ev"], "fault") << fault.dump();
    EXPECT_EQ(fault["what"], "write to unmapped memory at 0x10000");
    EXPECT_EQ(fault["address"], 0x10000);
    EXPECT_EQ(fault["image"], "S3SaveSmm#1");
    EXPECT_EQ(fault["in_image"], "S3SaveSmm#1");
    // The module clears the message buffer before it fills it. (Unicorn names the place of a
    // memory fault only to the start of a translated block, which depends on what its code
    // cache holds from earlier runs in the process, so only the host engine's is exact.)
    if (GetParam() == Engine::Host)
      EXPECT_EQ(fault["function"], "ZeroMem(void*, unsigned long)") << fault.dump();
    // The run before the fault is all there: the images started and the table was built.
    EXPECT_EQ(result.final["images"].size(), 3u);
  }
  // A later run in the same process is untouched by the fault.
  std::vector<Json> events;
  EXPECT_EQ(RunBoard("", GetParam(), events).outcome, Outcome::Completed);
}

INSTANTIATE_TEST_SUITE_P(Engines, ModuleFault, ::testing::Values(Engine::Host, Engine::Image),
                         [](const auto &info) {
                           return std::string(info.param == Engine::Host ? "Host" : "Image");
                         });

// An end mark written just past a 256-byte S3 table lands in the pool's guard bytes. Image code
// writes guest memory unseen by AddressSanitizer; the run reports the write when the callback
// returns, and goes on. (The host engine reports it the same way in a build without the
// sanitizer, which stops the sanitizer build at the write itself.)
TEST(EngineFault, WritePastAPoolBlockIsAFault) {
  std::vector<Json> events;
  RunResult result = RunImageEngine(R"([[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = { terminator_offset = 0x100 }
[[boot]]
signal = "ready_to_boot"
)",
                                    events);
  EXPECT_EQ(result.outcome, Outcome::Completed);
  std::vector<std::string> faults;
  for (const Json &e : events)
    if (e["ev"] == "fault")
      faults.push_back(e["what"]);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].rfind("S3SaveSmm#1 wrote past the 256-byte boot pool block at 0x", 0), 0u)
      << faults[0];
}

} // namespace
} // namespace boardsim::testing
