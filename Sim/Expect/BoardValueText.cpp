#include "Expect/BoardValueText.h"

#include "Board/PcdTable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

namespace boardsim {
namespace {

// Fields whose numbers name codes, addresses, ports or register contents: boards write them in
// hex, and so do the failures. Counts, sizes, widths, sequence numbers and times stay decimal.
constexpr std::string_view kHexFields[] = {
    "code",    "addr", "address",    "port",     "value",      "index",       "eax",
    "ebx",     "edx",  "si_out",     "netfn",    "command",    "data",        "result",
    "segment", "type", "table_base", "end_mark", "post_codes", "error_stops", "port80"};
constexpr std::string_view kMacFields[] = {"macs"};
constexpr size_t kMacDigits = 12;

template <size_t N> bool In(const std::string_view (&set)[N], std::string_view field) {
  return std::find(std::begin(set), std::end(set), field) != std::end(set);
}

std::string Number(uint64_t value, bool hex) {
  char text[24];
  std::snprintf(text, sizeof text, hex ? "0x%llX" : "%llu", static_cast<unsigned long long>(value));
  return text;
}

// "3cfdfea1b2c3" -> "3C:FD:FE:A1:B2:C3"; other text unchanged.
std::string MacText(const std::string &hex) {
  if (hex.size() != kMacDigits)
    return Json(hex).dump();
  std::string text = "\"";
  for (size_t i = 0; i < hex.size(); i += 2)
    text +=
        (i ? ":" : "") + std::string{char(std::toupper(hex[i])), char(std::toupper(hex[i + 1]))};
  return text + "\"";
}

// A bare TOML key where it can be one, else a quoted one.
std::string KeyText(const std::string &key) {
  const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
  return bare ? key : Json(key).dump();
}

} // namespace

std::string BoardValueText(const Json &value, std::string_view field) {
  if (value.is_null())
    return "none";
  if (value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0))
    return Number(value.get<uint64_t>(), In(kHexFields, field));
  if (value.is_string() && In(kMacFields, field))
    return MacText(value.get<std::string>());
  if (value.is_array()) {
    std::string text = "[";
    for (const Json &item : value)
      text += (text.size() > 1 ? ", " : "") + BoardValueText(item, field);
    return text + "]";
  }
  if (value.is_object()) {
    if (value.empty())
      return "{}";
    std::string text = "{ ";
    for (const auto &[key, item] : value.items())
      text += (text.size() > 2 ? ", " : "") + KeyText(key) + " = " + BoardValueText(item, key);
    return text + " }";
  }
  return value.dump();
}

std::string PcdKeyText(const std::string &token) {
  for (const PcdTokenInfo &info : kPcdTokenTable)
    if (std::to_string(info.number) == token)
      return std::string(info.name);
  return Json(token).dump();
}

} // namespace boardsim
