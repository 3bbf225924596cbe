// The board log: the picture of the boot read back as a person reads it (its lanes, where the
// time went, what ran inside what, the marks), and the page and summary that carry it.
#include "ReportRun.h"

#include "Expect/Expectations.h"
#include "Log/BoardLog.h"
#include "Log/BootSvg.h"
#include "Log/SuiteLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace boardsim::testing {
namespace {

using log::ItemKind;
using log::PictureItem;

log::BoardLog LogOf(const ReportRun &run) {
  std::vector<ExpectResult> results =
      CheckExpectations(run.board(), run.result().final, run.events());
  const int status = AllPassed(results) ? 0 : 3;
  return log::MakeBoardLog(run.board(), run.result(), run.events(), std::move(results),
                           {"board.toml", "host", status});
}

std::vector<const PictureItem *> Items(const log::BootPicture &picture, ItemKind kind,
                                       std::string_view image) {
  std::vector<const PictureItem *> found;
  for (const PictureItem &item : picture.items)
    if (item.kind == kind && picture.lanes[item.lane].image == image)
      found.push_back(&item);
  return found;
}

const Json &Event(const ReportRun &run, uint64_t seq) {
  auto it = std::find_if(run.events().begin(), run.events().end(),
                         [&](const Json &e) { return e["seq"] == seq; });
  EXPECT_NE(it, run.events().end()) << "no event " << seq;
  return *it;
}

// The x of each step's tick in the drawn picture, in step order.
std::vector<double> StepPositions(const std::string &svg) {
  const size_t from = svg.find("<g class=\"steps\">"), to = svg.find("</g>", from);
  const std::string steps = svg.substr(from, to - from);
  std::vector<double> xs;
  const std::regex x("<rect x=\"([0-9.]+)\"");
  for (auto it = std::sregex_iterator(steps.begin(), steps.end(), x); it != std::sregex_iterator();
       ++it)
    xs.push_back(std::stod((*it)[1]));
  return xs;
}

TEST(BootPicture, TheDefaultBoardShowsWhereItsTimeWentAndWhatRanInsideWhat) {
  ReportRun run(DefaultBoardText());
  const log::BoardLog log = LogOf(run);
  const log::BootPicture &picture = log.picture;
  // One lane per phase and image that caused an event, PEI first and SMM last.
  std::set<std::pair<std::string, std::string>> seen, lanes;
  for (const Json &e : run.events())
    seen.insert({e["phase"].is_string() ? e["phase"].get<std::string>() : "smm", e["image"]});
  for (const log::Lane &lane : picture.lanes)
    lanes.insert({lane.phase, lane.image});
  EXPECT_EQ(lanes, seen);
  EXPECT_EQ(lanes.size(), picture.lanes.size());
  EXPECT_EQ(picture.lanes.front().phase, "pei");
  EXPECT_EQ(picture.lanes.back().phase, "smm");

  // 200 of the 201 ms are BoardInfoPei#1 waiting for the BMC: one span, and its stalls, which
  // follow each other with nothing but a request between them, as one span.
  const auto retries = Items(picture, ItemKind::BmcRetries, "BoardInfoPei#1");
  ASSERT_EQ(retries.size(), 1u);
  EXPECT_EQ(retries[0]->to.t - retries[0]->from.t, 200000u) << retries[0]->label;
  const auto stalls = Items(picture, ItemKind::Stall, "BoardInfoPei#1");
  ASSERT_EQ(stalls.size(), 1u);
  EXPECT_EQ(stalls[0]->to.t - stalls[0]->from.t, 200000u);
  EXPECT_EQ(stalls[0]->label, "2 stalls, 200 ms in all");

  // Every entry bar ends at its own image's entry event.
  for (const log::Lane &lane : picture.lanes) {
    if (lane.image == "platform")
      continue;
    const auto entries = Items(picture, ItemKind::Entry, lane.image);
    ASSERT_EQ(entries.size(), 1u) << lane.image;
    const Json &end = Event(run, entries[0]->to.seq);
    EXPECT_EQ(end["ev"], "entry") << lane.image;
    EXPECT_EQ(end["image"], lane.image);
    EXPECT_FALSE(entries[0]->open);
  }
  // S3SaveSmm#1 runs its ready-to-lock notify function inside its entry point (it signals the
  // event itself), and again, on its own, when the platform installs the protocol.
  const auto entry = Items(picture, ItemKind::Entry, "S3SaveSmm#1");
  const auto callbacks = Items(picture, ItemKind::Callback, "S3SaveSmm#1");
  const size_t nested = size_t(std::count_if(callbacks.begin(), callbacks.end(), [&](auto *c) {
    return c->from.seq > entry[0]->from.seq && c->to.seq < entry[0]->to.seq && c->depth == 1;
  }));
  EXPECT_EQ(nested, 1u);
  // GetNicMacAddresses: the platform's call, and BoardInfoDxe#1 running it within the call.
  const auto call = Items(picture, ItemKind::Call, "platform");
  const auto ran = Items(picture, ItemKind::Call, "BoardInfoDxe#1");
  ASSERT_EQ(call.size(), 1u);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_GT(ran[0]->from.seq, call[0]->from.seq);
  EXPECT_LT(ran[0]->to.seq, call[0]->to.seq);
}

TEST(BootPicture, StepsThatTakeNoTimeStillFollowEachOtherAcrossThePicture) {
  // Hundreds of events at 0 ms, and the default board's mix of long waits and still moments.
  for (const std::string &board : {std::string("[[boot]]\ndispatch = \"S3SaveSmm\"\n"
                                               "[[boot]]\nbuild_s3_table = {}\n"
                                               "[[boot]]\nsignal = \"ready_to_boot\"\n"),
                                   DefaultBoardText()}) {
    ReportRun run(board);
    const log::BoardLog log = LogOf(run);
    const std::vector<double> xs = StepPositions(log::BootSvg(log.picture, log.steps, "b"));
    ASSERT_EQ(xs.size(), log.steps.size());
    for (size_t k = 1; k < xs.size(); ++k)
      EXPECT_GE(xs[k] - xs[k - 1], 3.9) << "step " << k << ": " << log.steps[k].text;
  }
}

TEST(BootPicture, APollLoopOfThousandsOfStallsStaysASmallPicture) {
  std::ifstream file(std::filesystem::path(REPORT_TEST_DEFAULT_BOARD).parent_path() /
                     "dxe-vpd-slow.toml");
  std::ostringstream text;
  text << file.rdbuf();
  ReportRun run(text.str());
  const log::BoardLog log = LogOf(run);
  const std::string svg = log::BootSvg(log.picture, log.steps, "b");
  size_t stalls = 0, lines = 0;
  for (const Json &e : run.events())
    stalls += e["ev"] == "stall";
  for (size_t at = 0; (at = svg.find("<line", at)) != std::string::npos; ++at)
    ++lines;
  ASSERT_GT(stalls, 1000u);
  EXPECT_EQ(Items(log.picture, ItemKind::Stall, "BoardInfoDxe#1").size(), 1u);
  EXPECT_LT(lines, 40u) << "the axis draws each moment the clock moved";
  EXPECT_LT(svg.size(), 40000u);
}

TEST(BootPicture, AHaltedRunLeavesItsEntryOpenAndMarksTheErrorStopWhereItWasAnnounced) {
  ReportRun run(R"(
[[fault]]
call = "smm.SmmAllocatePool"
nth = "all"
[[boot]]
dispatch = "S3SaveSmm"
)");
  ASSERT_EQ(run.result().outcome, Outcome::Halted);
  const log::BoardLog log = LogOf(run);
  const auto entry = Items(log.picture, ItemKind::Entry, "S3SaveSmm#1");
  ASSERT_EQ(entry.size(), 1u);
  EXPECT_TRUE(entry[0]->open);
  const Json &stops = run.result().final["error_stops"];
  const auto marks = Items(log.picture, ItemKind::ErrorStop, "S3SaveSmm#1");
  ASSERT_EQ(marks.size(), stops.size());
  ASSERT_FALSE(marks.empty());
  for (size_t i = 0; i < marks.size(); ++i) {
    const Json &write = Event(run, marks[i]->from.seq);
    EXPECT_EQ(write["ev"], "io");
    EXPECT_EQ(write["port"], 0x80);
    EXPECT_EQ(write["value"], stops[i]);
  }
}

TEST(BootPicture, AnSmiIsAMarkAndNoBarIsInventedForHandlersThatTouchNothing) {
  ReportRun run(R"(
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
smi = "s5_entry"
)");
  const log::BoardLog log = LogOf(run);
  const auto smis = Items(log.picture, ItemKind::Smi, "platform");
  ASSERT_EQ(smis.size(), 1u);
  EXPECT_EQ(Event(run, smis[0]->from.seq)["ev"], "smi");
  // S3SaveSmm#1's handlers make no event: its lane holds its entry point and nothing after it.
  for (const PictureItem &item : log.picture.items)
    if (log.picture.lanes[item.lane].image == "S3SaveSmm#1")
      EXPECT_LT(item.to.seq, smis[0]->from.seq) << item.label;
}

TEST(BootPicture, ExpectationsMarkTheEventsTheyWereJudgedOn) {
  ReportRun run(DefaultBoardText() + R"(
[[expect]]
event = { ev = "mark_item", code = 0x706 }

[[expect]]
event = { ev = "mark_item", code = 0x707, item_name = "Network" }
)");
  const log::BoardLog log = LogOf(run);
  const ExpectResult &held = log.expectations[log.expectations.size() - 2];
  const ExpectResult &failed = log.expectations.back();
  ASSERT_TRUE(held.passed);
  ASSERT_FALSE(failed.passed);
  ASSERT_EQ(held.events.size(), 1u);
  ASSERT_EQ(failed.events.size(), 1u); // the closest MarkItem call
  EXPECT_EQ(Event(run, held.events[0])["code"], 0x706);
  EXPECT_EQ(Event(run, failed.events[0])["code"], 0x707);
  auto markOn = [&](uint64_t seq) -> std::string {
    for (const PictureItem &item : log.picture.items)
      if (item.kind >= ItemKind::Smi && item.from.seq == seq)
        return item.expectation;
    return "no mark";
  };
  EXPECT_EQ(markOn(held.events[0]), "held");
  EXPECT_EQ(markOn(failed.events[0]), "failed");
}

TEST(BoardPage, TextFromTheBoardOrTheTraceCannotEndTheScriptOrAddMarkup) {
  ReportRun run(R"(
name = "x</script><script>alert(1)</script>"
description = "<img src=x onerror=alert(2)>"
[[boot]]
dispatch = "S3SaveSmm"
)");
  const log::BoardLog log = LogOf(run);
  std::vector<Json> events = run.events();
  events[1]["what"] = "</script><svg onload=alert(3)>";
  const std::string page = log::BoardPage(log, events, "");
  size_t scripts = 0;
  for (size_t at = 0; (at = page.find("<script", at)) != std::string::npos; ++at)
    ++scripts;
  EXPECT_EQ(scripts, 3u) << "the trace, its verdicts and the page's own script";
  for (const char *raw : {"alert(1)</script>", "<img", "<svg onload"})
    EXPECT_EQ(page.find(raw), std::string::npos) << raw;
  EXPECT_NE(page.find("&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
  EXPECT_NE(page.find("\\u003c/script>\\u003csvg onload=alert(3)>"), std::string::npos);
}

TEST(BoardSummary, CarriesTheReportsSectionsAndThePicturesItems) {
  ReportRun run(DefaultBoardText());
  const log::BoardLog log = LogOf(run);
  const Json summary = Json::parse(log::BoardSummary(log).dump());
  // The same sections as the text report, in its order.
  std::vector<std::string> headings;
  const std::vector<std::string> lines = run.Lines();
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (!lines[i].empty() && lines[i + 1] == std::string(lines[i].size(), '-') &&
        lines[i] != "Outcome")
      headings.push_back(lines[i]);
  std::vector<std::string> titles;
  for (const Json &section : summary["sections"])
    titles.push_back(section["title"]);
  EXPECT_EQ(titles, headings);
  EXPECT_EQ(summary["sections"][0]["tables"][0]["rows"].size(), log.steps.size());
  EXPECT_EQ(summary["timeline"]["items"].size(), log.picture.items.size());
  EXPECT_EQ(summary["timeline"]["lanes"].size(), log.picture.lanes.size());
  EXPECT_EQ(summary["expectations"]["held"], log.expectations.size());
  EXPECT_EQ(summary["t_us"], 201000);
}

TEST(SuiteLog, FailuresComeFirstAndARunWithoutASummaryStillHasItsLine) {
  ReportRun run(DefaultBoardText());
  const Json summary = log::BoardSummary(LogOf(run));
  log::SuiteLog suite{"boardsim test boards/", "1.0", {{"BoardInfoPei.efi", 2048}}, {}};
  suite.boards.push_back({"boards/a.toml", 0, "", "", "boards/a.html", summary});
  suite.boards.push_back(
      {"boards/b.toml", 3, "1 of 6 expectations failed", "", "boards/b.html", summary});
  suite.boards.push_back(
      {"boards/c.toml", 1, "c.toml:1: bogus: unknown key", "", "boards/c.html", Json()});
  const std::string page = log::SuitePage(suite);
  const size_t b = page.find("boards/b.html"), c = page.find("boards/c.html"),
               a = page.find("boards/a.html");
  EXPECT_LT(b, c) << "failures in the order they ran";
  EXPECT_LT(c, a) << "failures before the boards that passed";
  EXPECT_NE(page.find("3 boards: 2 failed, 1 passed"), std::string::npos);
  EXPECT_NE(page.find("BoardInfoPei.efi 2048 bytes"), std::string::npos);

  const Json json = log::SuiteSummary(suite);
  ASSERT_EQ(json["boards"].size(), 3u);
  EXPECT_EQ(json["boards"][1]["failure"], "1 of 6 expectations failed");
  EXPECT_EQ(json["boards"][1]["name"], "default") << "the board's own summary, merged";
  EXPECT_EQ(json["boards"][2]["exit_status"], 1);
  EXPECT_FALSE(json["boards"][2].contains("name"));
  EXPECT_TRUE(json["boards"][0]["failure"].is_null());
}

} // namespace
} // namespace boardsim::testing
