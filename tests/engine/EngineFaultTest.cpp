// Image code that faults in the processor ends the run as a crash with a fault event naming the
// image, the offset and the function; the simulator itself goes on.
#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <gtest/gtest.h>

namespace boardsim::testing {
namespace {

RunResult RunImageEngine(std::string_view text, std::vector<Json> &events) {
  LoadResult loaded = ParseBoardText(text, "fault.toml");
  EXPECT_TRUE(loaded.board);
  SimOptions options;
  options.captureTrace = true;
  options.engine = Engine::Image;
  Simulator sim(*loaded.board, options);
  RunResult result = sim.Run();
  events = sim.trace().Events();
  return result;
}

// The S3 hand-over message goes wherever PcdS3CommunicationBuffer points; here that is memory
// no board has. The host build would take boardsim down with it.
TEST(EngineFault, WriteToUnmappedMemoryEndsTheRunAsACrash) {
  std::vector<Json> events;
  RunResult result = RunImageEngine(R"([pcd]
PcdS3CommunicationBuffer = 0x10000
)",
                                    events);
  EXPECT_EQ(result.outcome, Outcome::Crashed);
  EXPECT_EQ(result.final["outcome"], "crashed");
  ASSERT_GE(events.size(), 2u);
  const Json &fault = events[events.size() - 2];
  ASSERT_EQ(fault["ev"], "fault") << fault.dump();
  EXPECT_EQ(fault["what"], "write to unmapped memory at 0x10000");
  EXPECT_EQ(fault["address"], 0x10000);
  EXPECT_EQ(fault["image"], "S3SaveSmm#1");
  EXPECT_EQ(fault["in_image"], "S3SaveSmm#1");
  // The module clears the message buffer before it fills it.
  EXPECT_EQ(fault["function"], "?ZeroMem@@YAPEAXPEAX_K@Z") << fault.dump();
  // The run before the fault is all there: the images started and the table was built.
  EXPECT_EQ(result.final["images"].size(), 3u);
}

} // namespace
} // namespace boardsim::testing
