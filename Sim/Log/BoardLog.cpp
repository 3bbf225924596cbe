#include "Log/BoardLog.h"

#include "Report/ReportText.h"

#include <algorithm>

namespace boardsim::log {

size_t BoardLog::Failed() const {
  return size_t(std::count_if(expectations.begin(), expectations.end(),
                              [](const ExpectResult &r) { return !r.passed; }));
}

BoardLog MakeBoardLog(const Board &board, const RunResult &result, const std::vector<Json> &events,
                      std::vector<ExpectResult> expectations, RunFacts facts) {
  BoardLog log;
  log.steps = report::TimelineSteps(events, result.final);
  log.name = board.name;
  log.description = board.description;
  log.file = std::move(facts.file);
  log.engine = std::move(facts.engine);
  log.outcome = OutcomeName(result.outcome);
  log.exitStatus = facts.exitStatus;
  log.tUs = report::U64(result.final, "t_us");
  log.outcomeText = RenderOutcome(board, result);
  while (!log.outcomeText.empty() && log.outcomeText.back() == '\n')
    log.outcomeText.pop_back();
  for (size_t at; (at = log.outcomeText.find("\n  ")) != std::string::npos;)
    log.outcomeText.replace(at, 3, " ");
  log.sections = ReportSections(board, result.final, events, log.steps);
  log.picture = DrawBoot(log.steps, events, expectations);
  log.expectations = std::move(expectations);
  return log;
}

namespace {

Json TableJson(const report::Table &table) {
  Json rows = Json::array();
  for (const report::Row &row : table.rows) {
    Json entry = ObjectWithRoom(4);
    entry["cells"] = row.cells;
    entry["event"] = row.event ? Json(*row.event) : Json();
    entry["times"] = row.times;
    entry["block"] = row.block;
    rows.push_back(std::move(entry));
  }
  Json json = ObjectWithRoom(4);
  json["caption"] = table.caption;
  json["headings"] = table.headings;
  json["rows"] = std::move(rows);
  json["notes"] = table.notes;
  return json;
}

} // namespace

Json BoardSummary(const BoardLog &log) {
  Json json = ObjectWithRoom(12);
  json["name"] = log.name;
  json["description"] = log.description;
  json["file"] = log.file;
  json["engine"] = log.engine;
  json["outcome"] = log.outcome;
  json["exit_status"] = log.exitStatus;
  json["t_us"] = log.tUs;
  json["outcome_text"] = log.outcomeText;
  Json results = Json::array();
  for (const ExpectResult &r : log.expectations)
    results.push_back({{"line", r.line},
                       {"what", r.what},
                       {"passed", r.passed},
                       {"expected", r.expected},
                       {"actual", r.passed ? Json() : Json(r.actual)},
                       {"events", r.events}});
  json["expectations"] = {{"held", log.expectations.size() - log.Failed()},
                          {"failed", log.Failed()},
                          {"results", std::move(results)}};
  Json sections = Json::array();
  for (const ReportSection &section : log.sections) {
    Json tables = Json::array();
    for (const report::Table &table : section.content.tables)
      tables.push_back(TableJson(table));
    sections.push_back({{"title", section.title}, {"tables", std::move(tables)}});
  }
  json["sections"] = std::move(sections);
  json["timeline"] = PictureJson(log.picture);
  return json;
}

} // namespace boardsim::log
