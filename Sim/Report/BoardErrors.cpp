#include "Report/BoardErrors.h"

#include "Report/ReportText.h"

namespace boardsim {
namespace {

constexpr std::string_view kTables[] = {"pcd", "setup",        "host",      "bmc",     "cpu",
                                        "smm", "board_tables", "s3savesmm", "services"};
constexpr std::string_view kArrays[] = {"pci", "smbus", "heap", "uart", "fault", "boot"};

// Where docs/board-file.md describes the key: "pci[2].bdf" -> the [[pci]] section.
std::string FallbackHint(const std::string &key) {
  const std::string section = key.substr(0, key.find_first_of(".["));
  for (std::string_view table : kTables)
    if (section == table)
      return "see the [" + section + "] section in docs/board-file.md";
  for (std::string_view array : kArrays)
    if (section == array)
      return "see the [[" + section + "]] section in docs/board-file.md";
  if (!section.empty())
    return "see the top-level keys in docs/board-file.md";
  return "see docs/board-file.md for what a board file may hold";
}

} // namespace

std::string RenderBoardErrors(const std::vector<BoardError> &errors, bool warnings) {
  std::string text;
  for (const BoardError &error : errors) {
    std::string place = EscapeControl(error.file);
    if (error.line)
      place += ":" + std::to_string(error.line);
    if (error.line && error.column)
      place += ":" + std::to_string(error.column);
    text += place + ": " + (error.key.empty() ? "" : EscapeControl(error.key) + ": ") +
            (warnings ? "warning: " : "") + EscapeControl(error.message) + '\n';
    const std::string hint =
        EscapeControl(error.hint.empty() ? FallbackHint(error.key) : error.hint);
    for (const std::string &line : report::Wrap(hint, "    hint: ", "          "))
      text += line + '\n';
  }
  return text;
}

std::string RenderBoardVerdict(const std::string &path, size_t errorCount, size_t warningCount) {
  if (errorCount)
    return path + ": " + report::Plural(errorCount, "error") + '\n';
  return path + ": ok" + (warningCount ? ", " + report::Plural(warningCount, "warning") : "") +
         '\n';
}

} // namespace boardsim
