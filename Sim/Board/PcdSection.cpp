#include "Board/BoardSections.h"
#include "Board/BoardText.h"
#include "Board/NameSuggestion.h"
#include "Board/NumberFormat.h"
#include "Board/PcdTable.h"

#include <map>
#include <vector>

namespace boardsim {

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

uint64_t WidthMax(uint32_t width) {
  return width >= 64 ? UINT64_MAX : (1ULL << width) - 1;
}

std::string TokenHint(std::string_view name) {
  std::vector<std::string_view> names;
  for (const PcdTokenInfo &token : kPcdTokenTable)
    names.push_back(token.name);
  if (std::string_view closest = ClosestName(name, names); !closest.empty()) {
    return "did you mean `" + std::string(closest) + "`?";
  }
  return "use a token name such as PcdNic1BridgeLocation, or a decimal token number as a "
         "quoted key, e.g. \"777\" = 5";
}

} // namespace

void ReadPcdSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("pcd");
  if (!section)
    return;
  BoardReader &reader = section->reader();
  std::map<uint32_t, std::string> keyOfToken; // to report a token given twice
  for (auto &&[key, value] : section->table()) {
    const std::string keyText(key.str());
    const std::string path = section->KeyPath(keyText);
    uint32_t number = 0;
    uint32_t width = 64; // an unknown token's width is fixed by its first access
    std::string tokenName = "token " + keyText;
    if (AllDigits(keyText)) {
      auto parsed = ParseNumber(keyText);
      if (!parsed.value || *parsed.value > UINT32_MAX) {
        reader.Report(key.source(), path, "token number " + keyText + " is out of range",
                      "token numbers go up to 4294967295");
        continue;
      }
      number = static_cast<uint32_t>(*parsed.value);
      if (const PcdTokenInfo *token = FindPcdToken(number)) {
        width = token->width;
        tokenName = std::string(token->name);
      }
    } else if (const PcdTokenInfo *token = FindPcdToken(keyText)) {
      number = token->number;
      width = token->width;
      tokenName = keyText;
    } else {
      reader.Report(key.source(), path, "unknown PCD token `" + keyText + "`", TokenHint(keyText));
      continue;
    }
    if (auto [it, inserted] = keyOfToken.emplace(number, keyText); !inserted) {
      reader.Report(key.source(), path,
                    "token " + std::to_string(number) + " is already set by `" + it->second + "`",
                    "keep one of the two keys");
      continue;
    }
    if (number == kS3CommunicationBufferToken && value.is_string()) {
      const std::string &text = value.as_string()->get();
      if (text == "auto" || text == "smram") {
        board.pcd.s3_communication_buffer =
            text == "auto" ? BoardPcd::BufferSource::Auto : BoardPcd::BufferSource::Smram;
        continue;
      }
    }
    auto given = reader.Unsigned(value, path, 0, UINT64_MAX);
    if (!given)
      continue;
    if (*given > WidthMax(width)) {
      reader.Report(value.source(), path,
                    Hex(*given) + " does not fit in " + tokenName + ", which is " +
                        std::to_string(width) + " bits wide",
                    "give a value from 0 to " + Hex(WidthMax(width)));
      continue;
    }
    board.pcd.values[number] = *given;
    if (number == kS3CommunicationBufferToken)
      board.pcd.s3_communication_buffer = BoardPcd::BufferSource::Value;
  }
}

} // namespace boardsim
