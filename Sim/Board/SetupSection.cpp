#include "Board/BoardSections.h"

namespace boardsim {

namespace {

constexpr uint32_t kMaxSetupSize = 0x100000;

} // namespace

void ReadSetupSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("setup");
  if (!section)
    return;
  BoardReader &reader = section->reader();
  SetupVariable &setup = board.setup;

  section->Bool("present", setup.present);
  uint32_t size = kDefaultSetupSize;
  section->Unsigned("size", size, 0, kMaxSetupSize);
  std::vector<NumberedEntry> bytes = section->NumberedTable("bytes", UINT32_MAX, "byte offset");
  std::optional<std::vector<uint8_t>> data;
  section->Bytes("data", data);
  section->RejectUnknownKeys();

  if (data) {
    if (section->Find("size") != nullptr || section->Find("bytes") != nullptr) {
      reader.Report(section->Find("data")->source(), section->KeyPath("data"),
                    "`data` gives the whole variable, so `size` and `bytes` cannot be used with it",
                    "remove `size` and `bytes`, or remove `data`");
      return;
    }
    setup.data = std::move(*data);
  } else {
    setup.data.assign(size, 0);
    for (const NumberedEntry &entry : bytes) {
      if (entry.number >= size) {
        reader.Report(entry.value->source(), entry.key,
                      "byte offset " + std::to_string(entry.number) + " is past the end of the " +
                          std::to_string(size) + "-byte variable",
                      "use an offset below " + std::to_string(size) + " or raise `size`");
        continue;
      }
      if (auto value = reader.Unsigned(*entry.value, entry.key, 0, 0xFF)) {
        setup.data[entry.number] = static_cast<uint8_t>(*value);
      }
    }
  }
  if (!setup.present)
    setup.data.clear();
}

} // namespace boardsim
