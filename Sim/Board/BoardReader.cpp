#include "Board/BoardReader.h"

#include "Board/BoardText.h"
#include "Board/NameSuggestion.h"
#include "Board/NumberFormat.h"

namespace boardsim {

namespace {

std::string_view TypeName(const toml::node &node) {
  switch (node.type()) {
  case toml::node_type::table:
    return "a table";
  case toml::node_type::array:
    return "an array";
  case toml::node_type::string:
    return "a string";
  case toml::node_type::integer:
    return "an integer";
  case toml::node_type::floating_point:
    return "a floating-point number";
  case toml::node_type::boolean:
    return "a boolean";
  case toml::node_type::date:
  case toml::node_type::time:
  case toml::node_type::date_time:
    return "a date or time";
  case toml::node_type::none:
    break;
  }
  return "nothing";
}

constexpr std::string_view kBytesHint =
    "write bytes as hex text, e.g. \"0002C9ABCDEF\"; spaces and ':' are ignored";

} // namespace

void BoardReader::Report(const toml::source_region &where, std::string key, std::string message,
                         std::string hint) {
  errors_.push_back(BoardError{file_, static_cast<uint32_t>(where.begin.line),
                               static_cast<uint32_t>(where.begin.column), std::move(key),
                               std::move(message), std::move(hint)});
}

void BoardReader::WrongType(const toml::node &node, const std::string &key,
                            std::string_view expected, std::string hint) {
  Report(node.source(), key,
         "expected " + std::string(expected) + ", found " + std::string(TypeName(node)),
         std::move(hint));
}

std::optional<uint64_t> BoardReader::Unsigned(const toml::node &node, const std::string &key,
                                              uint64_t min, uint64_t max) {
  uint64_t value = 0;
  bool hex = false;
  if (const auto *integer = node.as_integer()) {
    hex = (integer->flags() & toml::value_flags::format_as_hexadecimal) != toml::value_flags::none;
    if (integer->get() < 0) {
      Report(node.source(), key, std::to_string(integer->get()) + " is negative",
             "give a value from " + Bound(min, hex) + " to " + Bound(max, hex));
      return std::nullopt;
    }
    value = static_cast<uint64_t>(integer->get());
  } else if (const auto *text = node.as_string();
             text != nullptr && max > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    // TOML integers stop at 2^63 - 1; 64-bit registers and PCDs need the whole range.
    auto number = ParseNumber(text->get());
    if (!number.value) {
      Report(node.source(), key, number.problem,
             "write an integer such as 0x15B3, or a quoted one for values above 63 bits");
      return std::nullopt;
    }
    value = *number.value;
    hex = text->get().starts_with("0x") || text->get().starts_with("0X");
  } else {
    WrongType(node, key, "an integer",
              node.is_string() ? "write integers without quotes, e.g. 0x15B3"
                               : "write an integer such as 42 or 0x15B3");
    return std::nullopt;
  }
  if (value < min || value > max) {
    Report(node.source(), key, AsWritten(value, hex) + " is out of range",
           "give a value from " + Bound(min, hex) + " to " + Bound(max, hex));
    return std::nullopt;
  }
  return value;
}

std::optional<bool> BoardReader::Bool(const toml::node &node, const std::string &key) {
  if (const auto *value = node.as_boolean())
    return value->get();
  WrongType(node, key, "true or false", "write true or false without quotes");
  return std::nullopt;
}

std::optional<std::string> BoardReader::String(const toml::node &node, const std::string &key) {
  if (const auto *value = node.as_string())
    return value->get();
  WrongType(node, key, "a string", "put the text in double quotes");
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> BoardReader::Bytes(const toml::node &node,
                                                       const std::string &key) {
  const auto *text = node.as_string();
  if (text == nullptr) {
    WrongType(node, key, "a hex byte string", std::string(kBytesHint));
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(text->get());
  if (!bytes.value) {
    Report(node.source(), key, "bad hex byte string: " + bytes.problem, std::string(kBytesHint));
  }
  return bytes.value;
}

std::optional<std::optional<uint32_t>> BoardReader::CountOrNever(const toml::node &node,
                                                                 const std::string &key) {
  if (const auto *text = node.as_string()) {
    if (text->get() == "never")
      return std::optional<uint32_t>{};
    Report(node.source(), key, "\"" + text->get() + "\" is neither a count nor \"never\"",
           "write a count such as 3, or \"never\"");
    return std::nullopt;
  }
  if (!node.is_integer()) {
    WrongType(node, key, "a count or \"never\"", "write a count such as 3, or \"never\"");
    return std::nullopt;
  }
  auto count = Unsigned(node, key, 0, std::numeric_limits<uint32_t>::max());
  if (!count)
    return std::nullopt;
  return std::optional<uint32_t>{static_cast<uint32_t>(*count)};
}

std::optional<size_t> BoardReader::Choice(const toml::node &node, const std::string &key,
                                          std::span<const std::string_view> names) {
  auto text = String(node, key);
  if (!text)
    return std::nullopt;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == *text)
      return i;
  }
  Report(node.source(), key, "unknown value \"" + *text + "\"", SuggestName(*text, names));
  return std::nullopt;
}

const toml::table *BoardReader::Table(const toml::node &node, const std::string &key) {
  if (const auto *table = node.as_table())
    return table;
  WrongType(node, key, "a table", "write it as a [section] or as an inline { key = value } table");
  return nullptr;
}

const toml::array *BoardReader::Array(const toml::node &node, const std::string &key) {
  if (const auto *array = node.as_array())
    return array;
  WrongType(node, key, "an array", "write it in brackets, e.g. [1, 2]");
  return nullptr;
}

std::string TableReader::KeyPath(std::string_view key) const {
  return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

const toml::node *TableReader::Find(std::string_view key) {
  known_.emplace(key);
  return table_->get(key);
}

bool TableReader::Require(std::string_view key, std::string hint) {
  if (Find(key) != nullptr)
    return true;
  reader_->Report(source(), KeyPath(key), "required key `" + std::string(key) + "` is missing",
                  std::move(hint));
  return false;
}

void TableReader::Bool(std::string_view key, bool &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->Bool(*node, KeyPath(key)))
      out = *value;
  }
}

void TableReader::String(std::string_view key, std::string &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->String(*node, KeyPath(key)))
      out = std::move(*value);
  }
}

void TableReader::String(std::string_view key, std::optional<std::string> &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->String(*node, KeyPath(key)))
      out = std::move(*value);
  }
}

void TableReader::Bytes(std::string_view key, std::vector<uint8_t> &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->Bytes(*node, KeyPath(key)))
      out = std::move(*value);
  }
}

void TableReader::Bytes(std::string_view key, std::optional<std::vector<uint8_t>> &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->Bytes(*node, KeyPath(key)))
      out = std::move(*value);
  }
}

void TableReader::CountOrNever(std::string_view key, std::optional<uint32_t> &out) {
  if (const toml::node *node = Find(key)) {
    if (auto value = reader_->CountOrNever(*node, KeyPath(key)))
      out = *value;
  }
}

std::optional<size_t> TableReader::Choice(std::string_view key,
                                          std::span<const std::string_view> names) {
  const toml::node *node = Find(key);
  return node ? reader_->Choice(*node, KeyPath(key), names) : std::nullopt;
}

std::optional<TableReader> TableReader::SubTable(std::string_view key) {
  const toml::node *node = Find(key);
  if (node == nullptr)
    return std::nullopt;
  const toml::table *table = reader_->Table(*node, KeyPath(key));
  if (table == nullptr)
    return std::nullopt;
  return TableReader(*reader_, *table, KeyPath(key));
}

std::vector<TableReader> TableReader::TableArray(std::string_view key) {
  std::vector<TableReader> entries;
  const toml::node *node = Find(key);
  if (node == nullptr)
    return entries;
  const std::string hint = "write each entry as a [[" + KeyPath(key) + "]] section";
  const toml::array *array = node->as_array();
  if (array == nullptr) {
    reader_->WrongType(*node, KeyPath(key), "an array of tables", hint);
    return entries;
  }
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string entryPath = KeyPath(key) + "[" + std::to_string(i) + "]";
    if (const toml::table *table = (*array)[i].as_table()) {
      entries.emplace_back(*reader_, *table, entryPath);
    } else {
      reader_->WrongType((*array)[i], entryPath, "a table", hint);
    }
  }
  return entries;
}

const toml::array *TableReader::Array(std::string_view key) {
  const toml::node *node = Find(key);
  return node ? reader_->Array(*node, KeyPath(key)) : nullptr;
}

std::vector<NumberedEntry> TableReader::NumberedTable(std::string_view key, uint64_t maxKey,
                                                      std::string_view keyMeaning) {
  std::vector<NumberedEntry> entries;
  const toml::node *node = Find(key);
  if (node == nullptr)
    return entries;
  const toml::table *table = reader_->Table(*node, KeyPath(key));
  if (table == nullptr)
    return entries;
  std::set<uint64_t> seen;
  for (auto &&[entryKey, value] : *table) {
    const std::string entryPath = KeyPath(key) + "." + std::string(entryKey.str());
    auto number = ParseNumber(entryKey.str());
    if (!number.value) {
      reader_->Report(entryKey.source(), entryPath, "key " + number.problem,
                      "the keys of `" + KeyPath(key) + "` must be numbers (" +
                          std::string(keyMeaning) + "), e.g. 584 or 0x248");
    } else if (*number.value > maxKey) {
      reader_->Report(entryKey.source(), entryPath,
                      std::string(keyMeaning) + " " + Hex(*number.value) + " is out of range",
                      "give a " + std::string(keyMeaning) + " from 0 to " + Hex(maxKey));
    } else if (!seen.insert(*number.value).second) {
      reader_->Report(entryKey.source(), entryPath,
                      std::string(keyMeaning) + " " + Hex(*number.value) + " is given twice",
                      "keep one of the two entries");
    } else {
      entries.push_back(NumberedEntry{*number.value, &value, entryPath});
    }
  }
  return entries;
}

void TableReader::RejectUnknownKeys() {
  std::vector<std::string_view> candidates(known_.begin(), known_.end());
  for (auto &&[key, value] : *table_) {
    if (known_.contains(key.str()))
      continue;
    reader_->Report(key.source(), KeyPath(key.str()),
                    "unknown key `" + std::string(key.str()) + "`",
                    SuggestName(key.str(), candidates));
  }
}

} // namespace boardsim
