// What a report section says, in two forms built together: the lines of the text report, and
// the same content as tables of cells, which the HTML log shows and the JSON summary carries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::report {

struct Row {
  Row(std::vector<std::string> cells = {}, std::optional<uint64_t> event = std::nullopt)
      : cells(std::move(cells)), event(event) {}

  std::vector<std::string> cells; // fewer cells than headings: the last one spans the rest
  std::optional<uint64_t> event;  // `seq` of the trace event the row stands for
  size_t times = 1; // this row and the `block - 1` rows after it happened `times` times in a row
  size_t block = 1;
};

struct Table {
  std::string caption; // what the table shows, when a section has more than one
  std::vector<std::string> headings;
  std::vector<Row> rows;
  std::vector<std::string> notes; // sentences about the table as a whole
};

struct Section {
  std::vector<std::string> lines; // as the text report shows them (not yet fitted to 80 columns)
  std::vector<Table> tables;
};

// Cells laid out by a printf-style layout whose conversions all take strings: "%s", "%-16s"
// (padded on the right to 16 columns), "%5s" (on the left). Missing cells lay out as "".
std::string LayOut(std::string_view layout, const std::vector<std::string> &cells);

// Adds a row to the section's last table, and its text: one line laid out from the cells, or
// lines of its own.
void AddRow(Section &section, std::string_view layout, Row row);
void AddRow(Section &section, std::vector<std::string> lines, Row row);

// Adds rows to the section's last table with runs of repeated rows folded, as Repeats.h folds
// their text lines (`texts`, one per row): the text gets `indent`, and a repeated block a
// "N <noun>, each:" line.
void AddFoldedRows(Section &section, const std::vector<std::string> &texts, std::vector<Row> rows,
                   std::string_view indent, std::string_view noun = "times");

} // namespace boardsim::report
