// [smm], with the board's SMRAM: its size, the offsets that split it into touching descriptors,
// and further ranges apart from it.
#include "Board/BoardSections.h"
#include "Board/MemoryMap.h"
#include "Board/NumberFormat.h"

namespace boardsim {
namespace {

// Split offsets lie inside the SMRAM, in ascending order, so that every descriptor has a size.
void ReadSmramSplit(TableReader &section, SmmConfig &smm) {
  const toml::array *array = section.Array("smram_split");
  section.UnsignedArray("smram_split", smm.smram_split, 1, kSmramMaxSize - 1);
  if (array == nullptr || smm.smram_split.size() != array->size())
    return;
  uint64_t previous = 0;
  for (size_t i = 0; i < smm.smram_split.size(); ++i) {
    const uint64_t at = smm.smram_split[i];
    if (at <= previous || at >= smm.smram_size) {
      section.reader().Report(
          (*array)[i].source(), section.KeyPath("smram_split") + "[" + std::to_string(i) + "]",
          "the split at " + Hex(at) +
              (at >= smm.smram_size ? " lies beyond the SMRAM of " + Hex(smm.smram_size) + " bytes"
                                    : " does not follow the split before it"),
          "give offsets into the SMRAM in ascending order, each between 1 and smram_size - 1");
      smm.smram_split.clear();
      return;
    }
    previous = at;
  }
}

// A further range lies in the SMRAM window, page-aligned, apart from the SMRAM at kSmramBase and
// from every range before it.
void ReadSmramRanges(TableReader &section, SmmConfig &smm) {
  const uint64_t smramEnd = kSmramBase + smm.smram_size;
  for (TableReader &entry : section.TableArray("smram_range")) {
    SmramRange range;
    range.line = entry.source().begin.line;
    entry.Require("base", "give where the range begins, e.g. base = 0x60000000");
    entry.Require("size", "give the range's size in bytes, e.g. size = 0x100000");
    entry.Unsigned("base", range.base);
    entry.Unsigned("size", range.size);
    entry.RejectUnknownKeys();
    if (range.size == 0)
      continue;
    std::string problem;
    if (range.base % kSmramRangeAlign != 0 || range.size % kSmramRangeAlign != 0)
      problem = "its base and size must be multiples of 4 KiB";
    else if (range.base < kSmramBase || range.size > kSmramWindowEnd - range.base)
      problem =
          "it must lie in the SMRAM window " + Hex(kSmramBase) + "-" + Hex(kSmramWindowEnd - 1);
    else if (range.base < smramEnd)
      problem = "it overlaps the SMRAM at " + Hex(kSmramBase) + "-" + Hex(smramEnd - 1);
    for (const SmramRange &other : smm.smram_ranges)
      if (problem.empty() && range.base < other.base + other.size &&
          other.base < range.base + range.size)
        problem = "it overlaps the range at " + Hex(other.base) + " (line " +
                  std::to_string(other.line) + ")";
    if (!problem.empty()) {
      entry.reader().Report(entry.source(), entry.path(),
                            "the SMRAM range " + Hex(range.base) + "+" + Hex(range.size) +
                                " cannot be used: " + problem,
                            "SMRAM ranges may share no address; put further ones above the "
                            "SMRAM at " +
                                Hex(kSmramBase) + " and below " + Hex(kSmramWindowEnd));
      continue;
    }
    smm.smram_ranges.push_back(range);
  }
}

} // namespace

void ReadSmmSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("smm");
  if (!section)
    return;
  SmmConfig &smm = board.smm;
  section->Bool("in_smm", smm.in_smm);
  // SMRAM is mapped at a fixed address below 2 GiB (Board/MemoryMap.h); it holds at least a page.
  section->Unsigned("smram_size", smm.smram_size, kSmramMinSize, kSmramMaxSize);
  ReadSmramSplit(*section, smm);
  ReadSmramRanges(*section, smm);
  section->Bool("sx_dispatch", smm.sx_dispatch);
  section->Bool("power_button_dispatch", smm.power_button_dispatch);
  section->Bool("hob_list", smm.hob_list);
  section->RejectUnknownKeys();
}

} // namespace boardsim
