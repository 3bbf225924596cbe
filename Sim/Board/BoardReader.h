// Typed reading of a parsed TOML document that records every problem instead of stopping at the
// first, so that one run reports all the errors of a board file.
#pragma once

#include "Board/BoardError.h"

#include <toml++/toml.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

class BoardReader {
public:
  explicit BoardReader(std::string file) : file_(std::move(file)) {}

  void Report(const toml::source_region &where, std::string key, std::string message,
              std::string hint = {});
  std::vector<BoardError> TakeErrors() { return std::move(errors_); }
  bool HasErrors() const { return !errors_.empty(); }

  // Each reader returns nullopt after reporting why the node does not hold what is asked for.
  // Integers beyond 63 bits may also be written as quoted numbers ("0xFFFFFFFFFFFFFFFF").
  std::optional<uint64_t> Unsigned(const toml::node &node, const std::string &key, uint64_t min,
                                   uint64_t max);
  std::optional<bool> Bool(const toml::node &node, const std::string &key);
  std::optional<std::string> String(const toml::node &node, const std::string &key);
  std::optional<std::vector<uint8_t>> Bytes(const toml::node &node, const std::string &key);
  // An integer count, or "never" (the inner nullopt).
  std::optional<std::optional<uint32_t>> CountOrNever(const toml::node &node,
                                                      const std::string &key);
  // The index of the string among `names`.
  std::optional<size_t> Choice(const toml::node &node, const std::string &key,
                               std::span<const std::string_view> names);
  const toml::table *Table(const toml::node &node, const std::string &key);
  const toml::array *Array(const toml::node &node, const std::string &key);

  void WrongType(const toml::node &node, const std::string &key, std::string_view expected,
                 std::string hint);

private:
  std::string file_;
  std::vector<BoardError> errors_;
};

// A table whose keys are numbers ("584 = 1", "0x5400 = ..."): one entry per key.
struct NumberedEntry {
  uint64_t number;
  const toml::node *value;
  std::string key; // dotted path of this entry
};

// One TOML table being read. Every key the parser asks about becomes known; the others are
// reported by RejectUnknownKeys.
class TableReader {
public:
  TableReader(BoardReader &reader, const toml::table &table, std::string path)
      : reader_(&reader), table_(&table), path_(std::move(path)) {}

  BoardReader &reader() const { return *reader_; }
  const toml::table &table() const { return *table_; }
  const toml::source_region &source() const { return table_->source(); }
  const std::string &path() const { return path_; }
  std::string KeyPath(std::string_view key) const;

  const toml::node *Find(std::string_view key);
  // Reports a missing key; true when present.
  bool Require(std::string_view key, std::string hint);

  // Each setter leaves `out` unchanged when the key is absent or its value is wrong.
  template <typename T>
  void Unsigned(std::string_view key, T &out, uint64_t min = 0,
                uint64_t max = std::numeric_limits<T>::max()) {
    if (const toml::node *node = Find(key)) {
      if (auto value = reader_->Unsigned(*node, KeyPath(key), min, max)) {
        out = static_cast<T>(*value);
      }
    }
  }
  template <typename T>
  void Unsigned(std::string_view key, std::optional<T> &out, uint64_t min = 0,
                uint64_t max = std::numeric_limits<T>::max()) {
    if (const toml::node *node = Find(key)) {
      if (auto value = reader_->Unsigned(*node, KeyPath(key), min, max)) {
        out = static_cast<T>(*value);
      }
    }
  }
  void Bool(std::string_view key, bool &out);
  void String(std::string_view key, std::string &out);
  void String(std::string_view key, std::optional<std::string> &out);
  void Bytes(std::string_view key, std::vector<uint8_t> &out);
  void Bytes(std::string_view key, std::optional<std::vector<uint8_t>> &out);
  void CountOrNever(std::string_view key, std::optional<uint32_t> &out);
  std::optional<size_t> Choice(std::string_view key, std::span<const std::string_view> names);

  std::optional<TableReader> SubTable(std::string_view key);
  // The entries of "[[key]]"; empty when absent.
  std::vector<TableReader> TableArray(std::string_view key);
  const toml::array *Array(std::string_view key);
  // An array of integers; `out` is replaced only when every element is valid.
  template <typename T>
  void UnsignedArray(std::string_view key, std::vector<T> &out, uint64_t min = 0,
                     uint64_t max = std::numeric_limits<T>::max()) {
    const toml::array *array = Array(key);
    if (array == nullptr)
      return;
    std::vector<T> values;
    for (size_t i = 0; i < array->size(); ++i) {
      const std::string elementPath = KeyPath(key) + "[" + std::to_string(i) + "]";
      if (auto value = reader_->Unsigned((*array)[i], elementPath, min, max)) {
        values.push_back(static_cast<T>(*value));
      }
    }
    if (values.size() == array->size())
      out = std::move(values);
  }
  // Entries of a numbered table, keys between 0 and maxKey, each number once.
  std::vector<NumberedEntry> NumberedTable(std::string_view key, uint64_t maxKey,
                                           std::string_view keyMeaning);

  void RejectUnknownKeys();

private:
  BoardReader *reader_;
  const toml::table *table_;
  std::string path_;
  std::set<std::string, std::less<>> known_;
};

} // namespace boardsim
