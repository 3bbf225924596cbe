// Every call a [[fault]] entry chooses shows in the trace with the status the module got back,
// whichever service or member it is: each distinct call the example boards make is failed once.
#include "Core/Faults.h"
#include "Scenario.h"
#include "Sweep/Sweep.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace boardsim::testing {
namespace {

struct FirstCall {
  Board board; // the example board that makes it
  CallSite site;
};

// The first site of each call name (per image module) over all example boards.
std::vector<FirstCall> FirstCallsOfExampleBoards() {
  std::vector<std::filesystem::path> files;
  for (const auto &file : std::filesystem::directory_iterator(BOARDFW_SOURCE_DIR "/boards"))
    files.push_back(file.path());
  std::sort(files.begin(), files.end());
  std::map<std::string, FirstCall> first;
  for (const auto &file : files) {
    LoadResult loaded = ParseBoardText(ExampleBoard(file.filename().string()), file.string());
    if (!loaded.board)
      continue;
    Simulator sim(*loaded.board, SimOptions{});
    sim.faults().Record(true);
    sim.Run();
    for (const CallSite &site : CallSitesOf(sim.faults().Recorded()))
      first.try_emplace(site.call, FirstCall{*loaded.board, site});
  }
  std::vector<FirstCall> calls;
  for (auto &[name, call] : first)
    calls.push_back(std::move(call));
  return calls;
}

// The injected events of the call site (the board may fail other calls of its own).
std::vector<Json> InjectedEvents(Board board, const CallSite &site, const std::string &status) {
  FaultSpec spec;
  spec.call = site.call;
  spec.image = site.image;
  spec.nth = site.nth;
  spec.status = status;
  board.faults.push_back(spec);
  SimOptions options;
  options.captureTrace = true;
  Simulator sim(board, options);
  sim.Run();
  std::vector<Json> injected;
  for (const Json &e : sim.trace().Events())
    if (e.value("ev", "") == "injected" && e["call"] == site.call && e["image"] == site.image)
      injected.push_back(e);
  return injected;
}

TEST(InjectedFaults, EveryChosenCallIsTracedWithTheStatusItReturned) {
  const std::vector<FirstCall> calls = FirstCallsOfExampleBoards();
  // The example boards reach every service and member the modules use, under 44 fault names.
  EXPECT_GE(calls.size(), 44u);
  for (const FirstCall &call : calls) {
    SCOPED_TRACE(call.site.call + " by " + call.site.image);
    const auto failed = InjectedEvents(call.board, call.site, "EFI_DEVICE_ERROR");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0]["status"], "EFI_DEVICE_ERROR");
    EXPECT_EQ(failed[0]["target"],
              call.site.target.empty() ? Json(nullptr) : Json(call.site.target));

    // A warning is returned only by a call that succeeded; one that failed by itself keeps its
    // own error.
    const auto warned = InjectedEvents(call.board, call.site, "EFI_WARN_STALE_DATA");
    ASSERT_EQ(warned.size(), 1u);
    const std::string status = warned[0]["status"];
    EXPECT_TRUE(status == "EFI_WARN_STALE_DATA" || IsError(StatusFromName(status).value_or(0)))
        << status;
  }
}

} // namespace
} // namespace boardsim::testing
