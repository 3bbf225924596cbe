#include "Board/BoardSections.h"
#include "Board/NumberFormat.h"

#include <map>
#include <utility>

namespace boardsim {

void ReadHostSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("host");
  if (!section)
    return;
  BoardReader &reader = section->reader();
  section->Unsigned("bus_group_size_minus_one", board.host.bus_group_size_minus_one);

  std::map<std::pair<uint32_t, uint32_t>, uint32_t> lineOf; // (instance, index) -> line
  for (TableReader &entry : section->TableArray("registers")) {
    HostRegister reg;
    reg.line = entry.source().begin.line;
    const std::string hint = "write each register as { instance = 0, index = 0x1C0A0, value = 1 }";
    // Ask for all three so that each missing one is reported.
    const bool hasInstance = entry.Require("instance", hint);
    const bool hasIndex = entry.Require("index", hint);
    const bool hasValue = entry.Require("value", hint);
    entry.Unsigned("instance", reg.instance);
    entry.Unsigned("index", reg.index);
    entry.Unsigned("value", reg.value);
    entry.RejectUnknownKeys();
    if (!hasInstance || !hasIndex || !hasValue)
      continue;
    auto [it, inserted] = lineOf.emplace(std::pair{reg.instance, reg.index}, reg.line);
    if (!inserted) {
      reader.Report(entry.source(), entry.path(),
                    "register " + Hex(reg.index) + " of instance " + std::to_string(reg.instance) +
                        " is given twice",
                    "the first value is at line " + std::to_string(it->second) +
                        "; keep one of the two");
      continue;
    }
    board.host.registers.push_back(reg);
  }
  section->RejectUnknownKeys();
}

} // namespace boardsim
