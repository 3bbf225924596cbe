#include "Log/Html.h"
#include "Log/PageFrame.h"
#include "Log/SuiteLog.h"
#include "Report/ReportText.h"

#include <algorithm>
#include <filesystem>

namespace boardsim::log {
namespace {

constexpr size_t kFailuresListed = 3;

std::string NameOf(const SuiteBoard &board) {
  if (board.summary.is_object())
    return board.summary.value("name", "");
  return std::filesystem::path(board.file).stem().string();
}

std::string ExpectationsOf(const Json &summary) {
  if (!summary.is_object())
    return "-";
  const Json &counts = summary["expectations"];
  const uint64_t held = counts.value("held", uint64_t{0}),
                 failed = counts.value("failed", uint64_t{0});
  if (held + failed == 0)
    return "none given";
  return std::to_string(failed) + " failed, " + std::to_string(held) + " held";
}

std::string Build(const SuiteLog &suite) {
  std::string text = "boardsim " + suite.version;
  for (const ImageFile &image : suite.images)
    text += "; " + image.name + " " +
            (image.size ? report::Plural(*image.size, "byte") : std::string("not built"));
  return text;
}

void Row(std::string &out, const SuiteBoard &board) {
  const bool failed = !board.failure.empty();
  const Json &s = board.summary;
  const bool summarised = s.is_object();
  out += failed ? "<tr class=\"fail\">" : "<tr class=\"pass\">";
  out += std::string("<td><span class=\"badge\">") + (failed ? "FAIL" : "PASS") + "</span></td>";
  out += "<td><a href=\"" + Escape(board.page) + "\">" + Escape(NameOf(board)) +
         "</a><div class=\"file\">" + Escape(board.file) + "</div></td>";
  // Two lines of the description at most; all of it on hover and on the board's page.
  const std::string description = Escape(summarised ? s.value("description", "") : "");
  out += "<td><div class=\"clamp\" title=\"" + description + "\">" + description + "</div></td>";
  out += "<td>" + Escape(summarised ? s.value("outcome", "") : "no result");
  if (failed)
    out += "<div class=\"why\">" + Escape(board.failure) + "</div>";
  // Which expectations failed, the first few, as the board's page words them.
  size_t listed = 0;
  if (summarised)
    for (const Json &r : s["expectations"].value("results", Json::array()))
      if (!r.value("passed", true) && listed++ < kFailuresListed)
        out += "<div class=\"why\">" +
               Escape((r.value("line", 0) ? "line " + std::to_string(r.value("line", 0)) + ": "
                                          : std::string()) +
                      "expectation " + r.value("what", "") + " failed") +
               "</div>";
  out += "</td><td>" + std::to_string(board.status) + "</td>";
  out += "<td>" + Escape(summarised ? s.value("engine", "") : "-") + "</td>";
  out += "<td>" + (summarised ? report::Duration(s.value("t_us", uint64_t{0})) : std::string("-")) +
         "</td>";
  out += "<td class=\"count\">" + Escape(ExpectationsOf(s)) + "</td></tr>\n";
}

} // namespace

std::string SuitePage(const SuiteLog &suite) {
  std::vector<const SuiteBoard *> order;
  for (const SuiteBoard &board : suite.boards)
    order.push_back(&board);
  std::stable_partition(order.begin(), order.end(),
                        [](const SuiteBoard *b) { return !b->failure.empty(); });
  const size_t failed = size_t(
      std::count_if(order.begin(), order.end(), [](auto *b) { return !b->failure.empty(); }));
  const std::string verdict = report::Plural(suite.boards.size(), "board") + ": " +
                              std::to_string(failed) + " failed, " +
                              std::to_string(suite.boards.size() - failed) + " passed";
  std::string out;
  out.reserve(8192 + suite.boards.size() * 700);
  PageStart(out, "boardsim test: " + verdict);
  out += std::string("<header class=\"verdict ") + (failed ? "fail" : "pass") +
         "\">\n<h1>boardsim test: " + Escape(verdict) +
         "</h1>\n<table class=\"facts\">\n<tr><th>command</th><td><code>" + Escape(suite.command) +
         "</code></td></tr>\n<tr><th>build</th><td>" + Escape(Build(suite)) +
         "</td></tr>\n</table>\n</header>\n";
  out += "<table class=\"suite\">\n<thead><tr><th></th><th>board</th><th>description</th>"
         "<th>outcome</th><th>exit status</th><th>engine</th><th>simulated time</th>"
         "<th>expectations</th></tr></thead>\n<tbody>\n";
  for (const SuiteBoard *board : order)
    Row(out, *board);
  out += "</tbody></table>\n";
  PageEnd(out);
  return out;
}

std::string OutputPage(const SuiteBoard &board, std::string_view suitePage) {
  std::string out;
  PageStart(out, NameOf(board) + ": FAILED - boardsim");
  out += "<nav><a href=\"" + Escape(suitePage) +
         "\">&larr; all boards of the suite</a></nav>\n<header class=\"verdict fail\">\n<h1>" +
         Escape(NameOf(board)) + "</h1>\n<p><span class=\"badge\">FAIL</span> " +
         Escape(board.failure) + "</p>\n<table class=\"facts\">\n<tr><th>board file</th><td>" +
         Escape(board.file) + "</td></tr>\n<tr><th>exit status</th><td>" +
         std::to_string(board.status) +
         "</td></tr>\n</table>\n</header>\n<section>\n<h2>What the run printed</h2>\n<pre>" +
         Escape(board.output) + "</pre>\n</section>\n";
  PageEnd(out);
  return out;
}

Json SuiteSummary(const SuiteLog &suite) {
  Json json = ObjectWithRoom(4);
  json["command"] = suite.command;
  json["boardsim"] = suite.version;
  json["images"] = Json::array();
  for (const ImageFile &image : suite.images)
    json["images"].push_back(
        {{"name", image.name}, {"size", image.size ? Json(*image.size) : Json()}});
  Json boards = Json::array();
  for (const SuiteBoard &board : suite.boards) {
    Json entry = board.summary.is_object() ? board.summary : Json::object();
    entry["file"] = board.file;
    entry["exit_status"] = board.status;
    entry["failure"] = board.failure.empty() ? Json() : Json(board.failure);
    entry["page"] = board.page;
    boards.push_back(std::move(entry));
  }
  json["boards"] = std::move(boards);
  return json;
}

} // namespace boardsim::log
