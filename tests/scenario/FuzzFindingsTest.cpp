// Boards in boards/ that fuzzing turned up: each once crashed the simulator; each now ends the
// way its description says.
#include "Scenario.h"

#include <fstream>
#include <sstream>

namespace boardsim::testing {
namespace {

std::string BoardFile(const std::string &name) {
  std::ifstream file(BOARDFW_SOURCE_DIR "/boards/" + name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(FuzzFindings, BoundaryMarkerInsideTheHeaderFailsTheBoundaryCheck) {
  Scenario run(BoardFile("s3-marker-in-header.toml"));
  EXPECT_TRUE(run.halted());
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x90677}));
  // The end mark lies past the 48-byte table; the simulator reads it without a memory error.
  EXPECT_EQ(run.final()["s3_table"]["end_mark"], 0);
}

TEST(FuzzFindings, RecordOfTheLargestSizeInAShortHobIsNotCopied) {
  Scenario run(BoardFile("smm-heap-record-16mib.toml"));
  EXPECT_FALSE(run.halted());
  EXPECT_EQ(run.final()["heap_list"], Json::parse(R"([{"handle": 512, "size": 2}])"));
  EXPECT_TRUE(run.Faults().empty());
}

// HOB walks that once left the list: each now ends at the malformed HOB, after the first record.
TEST(FuzzFindings, MalformedHobLengthsEndTheHeapWalk) {
  for (const char *board : {"smm-heap-hob-unaligned.toml", "smm-heap-hob-past-end.toml"}) {
    SCOPED_TRACE(board);
    Scenario run(BoardFile(board));
    EXPECT_FALSE(run.halted());
    EXPECT_EQ(run.final()["heap_list"], Json::parse(R"([{"handle": 1, "size": 1}])"));
  }
}

} // namespace
} // namespace boardsim::testing
