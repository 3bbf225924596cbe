#include "Report/SectionModel.h"

#include "Report/Repeats.h"

namespace boardsim::report {

std::string LayOut(std::string_view layout, const std::vector<std::string> &cells) {
  std::string text;
  size_t next = 0;
  for (size_t at = 0; at < layout.size(); ++at) {
    if (layout[at] != '%' || at + 1 == layout.size()) {
      text += layout[at];
      continue;
    }
    const bool left = layout[++at] == '-';
    at += left;
    size_t width = 0;
    for (; at < layout.size() && layout[at] >= '0' && layout[at] <= '9'; ++at)
      width = width * 10 + size_t(layout[at] - '0');
    // The conversion letter itself ('s') ends the directive.
    const std::string &cell = next < cells.size() ? cells[next] : std::string();
    ++next;
    const std::string pad(cell.size() < width ? width - cell.size() : 0, ' ');
    text += left ? cell + pad : pad + cell;
  }
  return text;
}

void AddRow(Section &section, std::string_view layout, Row row) {
  section.lines.push_back(LayOut(layout, row.cells));
  section.tables.back().rows.push_back(std::move(row));
}

void AddRow(Section &section, std::vector<std::string> lines, Row row) {
  for (std::string &line : lines)
    section.lines.push_back(std::move(line));
  section.tables.back().rows.push_back(std::move(row));
}

void AddFoldedRows(Section &section, const std::vector<std::string> &texts, std::vector<Row> rows,
                   std::string_view indent, std::string_view noun) {
  const std::vector<Repeat> runs = FindRepeats(texts);
  for (std::string &line : FoldRepeats(runs, indent, noun))
    section.lines.push_back(std::move(line));
  Table &table = section.tables.back();
  size_t at = 0;
  for (const Repeat &run : runs) {
    for (size_t k = 0; k < run.block.size(); ++k)
      table.rows.push_back(std::move(rows[at + k]));
    table.rows[table.rows.size() - run.block.size()].times = run.times;
    table.rows[table.rows.size() - run.block.size()].block = run.block.size();
    at += run.block.size() * run.times;
  }
}

} // namespace boardsim::report
