// Every board of boards/ boots once with the host builds of the modules and once with the
// firmware images; after normalisation the traces must agree event by event.
#include "TraceNormalisation.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace boardsim::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> BoardFiles() {
  std::vector<std::string> files;
  for (const auto &entry : fs::directory_iterator(fs::path(BOARDFW_SOURCE_DIR) / "boards"))
    if (entry.path().extension() == ".toml")
      files.push_back(entry.path().stem().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<Json> Boot(const Board &board, Engine engine) {
  SimOptions options;
  options.captureTrace = true;
  options.engine = engine;
  Simulator sim(board, options);
  RunResult result = sim.Run();
  // The image engine must have run every module itself, not its host build.
  if (engine == Engine::Image)
    for (const Json &loaded : result.final["images"])
      EXPECT_GT(loaded.value("stack_used", 0), 0) << loaded.dump();
  // The SMRAM map is the board's: no descriptor of it overlaps another (images lie inside them).
  for (const Json &map : sim.trace().Events()) {
    if (map["ev"] != "smram_map" || map["ranges"].is_null())
      continue;
    const Json &ranges = map["ranges"];
    for (size_t i = 0; i < ranges.size(); ++i)
      for (size_t j = 0; j < i; ++j)
        EXPECT_TRUE(ranges[i]["base"] >=
                        ranges[j]["base"].get<uint64_t>() + ranges[j]["size"].get<uint64_t>() ||
                    ranges[j]["base"] >=
                        ranges[i]["base"].get<uint64_t>() + ranges[i]["size"].get<uint64_t>())
            << map.dump();
  }
  return NormaliseTrace(sim.trace().Events());
}

class EngineDiff : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineDiff, TracesAgreeEventByEvent) {
  LoadResult loaded =
      LoadBoardFile((fs::path(BOARDFW_SOURCE_DIR) / "boards" / (GetParam() + ".toml")).string());
  ASSERT_TRUE(loaded.board) << GetParam() << " does not load";
  const std::vector<Json> host = Boot(*loaded.board, Engine::Host);
  const std::vector<Json> image = Boot(*loaded.board, Engine::Image);
  const size_t common = std::min(host.size(), image.size());
  for (size_t i = 0; i < common; ++i)
    ASSERT_EQ(host[i], image[i]) << "first difference at event " << i
                                 << "\n  host:  " << host[i].dump()
                                 << "\n  image: " << image[i].dump();
  ASSERT_EQ(host.size(), image.size()) << "one trace ends early; next event: "
                                       << (host.size() > common ? host : image)[common].dump();
  EXPECT_EQ(host.back().value("outcome", ""), image.back().value("outcome", ""));
}

INSTANTIATE_TEST_SUITE_P(Boards, EngineDiff, ::testing::ValuesIn(BoardFiles()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

} // namespace
} // namespace boardsim::testing
