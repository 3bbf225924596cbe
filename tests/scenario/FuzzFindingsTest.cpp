// Boards in boards/ that fuzzing turned up: each once made the heap transfer read outside its
// HOB list or misaligned; each now ends the way its description says.
#include "Scenario.h"

namespace boardsim::testing {
namespace {

// HOB walks that once read misaligned headers or left the list: an odd length is walked past,
// one that reaches beyond the end HOB ends the walk after the first record.
TEST(FuzzFindings, MalformedHobLengthsStayWithinTheList) {
  Scenario unaligned(ExampleBoard("smm-heap-hob-unaligned.toml"));
  EXPECT_EQ(unaligned.final()["heap_list"],
            Json::parse(R"([{"handle": 1, "size": 1}, {"handle": 2, "size": 1},
                            {"handle": 3, "size": 1}])"));
  Scenario pastEnd(ExampleBoard("smm-heap-hob-past-end.toml"));
  EXPECT_FALSE(pastEnd.halted());
  EXPECT_EQ(pastEnd.final()["heap_list"], Json::parse(R"([{"handle": 1, "size": 1}])"));
}

} // namespace
} // namespace boardsim::testing
