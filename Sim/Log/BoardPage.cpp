// The HTML page of one board's run.
#include "Log/BoardLog.h"
#include "Log/BootSvg.h"
#include "Log/Html.h"
#include "Log/PageFrame.h"
#include "Report/ReportText.h"

#include <unordered_set>

namespace boardsim::log {
namespace {

constexpr std::string_view kCommonFields[] = {"seq", "t_us", "phase", "image", "ev"};

struct LegendEntry {
  const char *color, *text;
};
constexpr LegendEntry kLegend[] = {
    {"#9aa6b2", "step of the timeline (thin, at the top)"},
    {"#4c78a8", "entry point"},
    {"#54a24b", "callback or notify function"},
    {"#9d6fb0", "member called by the platform"},
    {"#6b7782", "stall"},
    {"rgba(228,87,86,.35)", "BMC retries"},
    {"#1f78b4", "SMI raised"},
    {"#c62828", "error stop"},
    {"#000", "fault"},
    {"#ff7f0e", "injected fault"},
    {"#7b3fa0", "event an expectation was judged on (ring: held green, failed red)"},
};

class Page {
public:
  Page(const BoardLog &log, const std::vector<Json> &events) : log_(log), events_(events) {
    out_.reserve(64 * 1024 + events.size() * 160);
  }

  std::string Write(std::string_view suitePage) {
    PageStart(out_, log_.name + (log_.Passed() ? ": passed" : ": FAILED") + " - boardsim");
    if (!suitePage.empty())
      out_ +=
          "<nav><a href=\"" + Escape(suitePage) + "\">&larr; all boards of the suite</a></nav>\n";
    Header();
    Expectations();
    Picture();
    for (const ReportSection &section : log_.sections)
      Section(section);
    Trace();
    PageEnd(out_);
    return std::move(out_);
  }

private:
  void Text(std::string_view text) { AppendEscaped(out_, text); }

  void Link(uint64_t seq, std::string_view text) {
    out_ += "<a href=\"#" + EventAnchor(seq) + "\">";
    Text(text);
    out_ += "</a>";
  }

  void Fact(std::string_view name, std::string_view value) {
    out_ += "<span><b>";
    Text(name);
    out_ += "</b> ";
    Text(value);
    out_ += "</span>";
  }

  void Header() {
    const bool passed = log_.Passed();
    out_ += std::string("<header class=\"verdict ") + (passed ? "pass" : "fail") + "\">\n<h1>";
    Text(log_.name);
    out_ += "</h1>\n";
    if (!log_.description.empty()) {
      out_ += "<p class=\"description\">";
      Text(log_.description);
      out_ += "</p>\n";
    }
    out_ += std::string("<p><span class=\"badge\">") + (passed ? "PASS" : "FAIL") + "</span> ";
    Text(log_.outcomeText);
    out_ += "</p>\n<p class=\"facts\">";
    Fact("board file", log_.file);
    Fact("engine", log_.engine);
    Fact("outcome", log_.outcome);
    Fact("exit status", std::to_string(log_.exitStatus));
    Fact("simulated time", report::Duration(log_.tUs));
    Fact("expectations", Held());
    out_ += "</p>\n</header>\n";
  }

  std::string Held() const {
    if (log_.expectations.empty())
      return "none given";
    const size_t failed = log_.Failed();
    return std::to_string(log_.expectations.size() - failed) + " held, " + std::to_string(failed) +
           " failed";
  }

  void Evidence(const ExpectResult &r) {
    if (r.events.empty())
      return;
    out_ += "<p>trace: ";
    for (size_t i = 0; i < r.events.size(); ++i) {
      out_ += i ? ", " : "";
      Link(r.events[i], "event " + std::to_string(r.events[i]));
    }
    out_ += r.events.size() == kMaxEvidence ? " and later ones</p>\n" : "</p>\n";
  }

  // The failed ones first, as the text output gives them; the held ones listed below.
  void Expectations() {
    if (log_.expectations.empty())
      return;
    out_ += "<section id=\"expectations\">\n<h2>Expectations: ";
    Text(Held());
    out_ += "</h2>\n";
    for (const ExpectResult &r : log_.expectations) {
      if (r.passed)
        continue;
      out_ += "<div class=\"expect\">\n<p class=\"what\">";
      Text(log_.file + (r.line ? ":" + std::to_string(r.line) : "") + ": expectation " + r.what +
           " failed");
      out_ += "</p>\n<p>expected: <code>";
      Text(r.expected);
      out_ += "</code></p>\n<p>got: <code>";
      Text(r.actual);
      out_ += "</code></p>\n";
      Evidence(r);
      out_ += "</div>\n";
    }
    if (log_.Failed() < log_.expectations.size()) {
      out_ += "<details><summary>held</summary><ul>\n";
      for (const ExpectResult &r : log_.expectations) {
        if (!r.passed)
          continue;
        out_ += "<li>";
        Text((r.line ? "line " + std::to_string(r.line) + ": " : "") + r.what + ": " + r.expected);
        if (!r.events.empty()) {
          out_ += " (";
          Link(r.events.front(), "event " + std::to_string(r.events.front()));
          out_ += ")";
        }
        out_ += "</li>\n";
      }
      out_ += "</ul></details>\n";
    }
    out_ += "</section>\n";
  }

  void Picture() {
    const std::string svg = BootSvg(log_.picture, log_.steps, log_.name);
    if (svg.empty())
      return;
    out_ += "<section id=\"boot\">\n<h2>The boot</h2>\n<div class=\"picture\">\n" + svg +
            "</div>\n<p class=\"legend\">";
    for (const LegendEntry &entry : kLegend) {
      out_ += std::string("<span style=\"--c:") + entry.color + "\">";
      Text(entry.text);
      out_ += "</span>";
    }
    out_ += "</p>\n<p class=\"notes\">Simulated time runs left to right; where it stands still "
            "(dashed axis) the steps follow each other in event order. Point at an item to name "
            "it; click it to see its trace line.</p>\n</section>\n";
  }

  void Cell(const std::string &cell, size_t span) {
    out_ += span > 1 ? "<td colspan=\"" + std::to_string(span) + "\">" : std::string("<td>");
    if (cell.find('\n') != std::string::npos) {
      out_ += "<pre>";
      Text(cell);
      out_ += "</pre>";
    } else {
      Text(cell);
    }
    out_ += "</td>";
  }

  void Table(const report::Table &table) {
    bool repeats = false, links = false, headings = false;
    for (const report::Row &row : table.rows)
      repeats |= row.times > 1, links |= row.event.has_value();
    for (const std::string &heading : table.headings)
      headings |= !heading.empty();
    if (table.rows.empty() && !table.caption.empty()) {
      out_ += "<h3>";
      Text(table.caption);
      out_ += "</h3>\n";
    }
    if (!table.rows.empty()) {
      out_ += "<table>\n";
      if (!table.caption.empty()) {
        out_ += "<caption>";
        Text(table.caption);
        out_ += "</caption>\n";
      }
      if (headings) {
        out_ += "<thead><tr>";
        out_ += repeats ? "<th>times</th>" : "";
        for (const std::string &heading : table.headings) {
          out_ += "<th>";
          Text(heading);
          out_ += "</th>";
        }
        out_ += links ? "<th>event</th>" : "";
        out_ += "</tr></thead>\n";
      }
      out_ += "<tbody>\n";
      size_t blockLeft = 0;
      for (const report::Row &row : table.rows) {
        const bool inBlock = blockLeft > 0 || row.times > 1;
        blockLeft = row.times > 1 ? row.block - 1 : blockLeft ? blockLeft - 1 : 0;
        out_ += inBlock ? "<tr class=\"repeat\">" : "<tr>";
        if (repeats)
          out_ += row.times > 1 ? "<td class=\"times\" rowspan=\"" + std::to_string(row.block) +
                                      "\">&times; " + std::to_string(row.times) + "</td>"
                  : inBlock ? ""
                            : "<td></td>";
        const size_t columns = std::max(table.headings.size(), size_t(1));
        for (size_t i = 0; i < row.cells.size(); ++i)
          Cell(row.cells[i],
               i + 1 == row.cells.size() && row.cells.size() < columns ? columns - i : 1);
        if (links) {
          out_ += "<td>";
          if (row.event)
            Link(*row.event, std::to_string(*row.event));
          out_ += "</td>";
        }
        out_ += "</tr>\n";
      }
      out_ += "</tbody></table>\n";
    }
    for (const std::string &note : table.notes) {
      out_ += "<p class=\"notes\">";
      Text(note);
      out_ += "</p>\n";
    }
  }

  void Section(const ReportSection &section) {
    out_ += "<section>\n<h2>";
    Text(section.title);
    out_ += "</h2>\n";
    for (const report::Table &table : section.content.tables)
      Table(table);
    out_ += "</section>\n";
  }

  // JSON for a script element: "<" never appears raw, so no "</script>" can end it early.
  void ScriptJson(const char *id, const Json &json) {
    out_ += std::string("<script type=\"application/json\" id=\"") + id + "\">";
    for (char c : json.dump(-1, ' ', false, Json::error_handler_t::replace))
      if (c == '<')
        out_ += "\\u003c";
      else
        out_ += c;
    out_ += "</script>\n";
  }

  // Each event as [seq, time, phase, image, ev, its other fields]: the fields as text made
  // here, where 64-bit values are exact (a script's numbers are not).
  Json TraceRows() const {
    Json rows = Json::array();
    rows.get_ref<Json::array_t &>().reserve(events_.size());
    for (const Json &e : events_) {
      std::string fields;
      for (const auto &[key, value] : e.items()) {
        if (std::find(std::begin(kCommonFields), std::end(kCommonFields), key) !=
            std::end(kCommonFields))
          continue;
        fields += (fields.empty() ? "" : " ") + key + "=" +
                  value.dump(-1, ' ', false, Json::error_handler_t::replace);
      }
      rows.push_back(Json::array({report::U64(e, "seq"), report::SimTime(report::U64(e, "t_us")),
                                  report::Text(e, "phase"), report::Text(e, "image"),
                                  report::Text(e, "ev"), std::move(fields)}));
    }
    return rows;
  }

  void Trace() {
    out_ += "<section id=\"trace\">\n<h2>Trace</h2>\n<div class=\"filters\">";
    for (const char *key : {"phase", "image", "ev"}) {
      out_ += std::string("<label>") + (std::string_view(key) == "ev" ? "event kind" : key) +
              " <select id=\"trace-" + key + "\"><option value=\"\">any</option></select></label>";
    }
    out_ += "<button id=\"trace-previous\" type=\"button\">earlier</button>"
            "<button id=\"trace-next\" type=\"button\">later</button>"
            "<span id=\"trace-status\"></span></div>\n"
            "<table class=\"trace\"><thead><tr><th>seq</th><th>time</th><th>phase</th>"
            "<th>image</th><th>ev</th><th>fields</th></tr></thead>"
            "<tbody id=\"trace-rows\"></tbody></table>\n</section>\n";
    ScriptJson("trace-data", TraceRows());
    Json verdicts = Json::object();
    for (const ExpectResult &r : log_.expectations)
      for (uint64_t seq : r.events)
        if (!r.passed || !verdicts.contains(std::to_string(seq)))
          verdicts[std::to_string(seq)] = r.passed ? "held" : "failed";
    ScriptJson("trace-verdicts", verdicts);
    out_ += "<script>";
    out_ += kTraceScript;
    out_ += "</script>\n";
  }

  const BoardLog &log_;
  const std::vector<Json> &events_;
  std::string out_;
};

} // namespace

std::string BoardPage(const BoardLog &log, const std::vector<Json> &events,
                      std::string_view suitePage) {
  return Page(log, events).Write(suitePage);
}

} // namespace boardsim::log
