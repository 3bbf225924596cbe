// [[expect]]: what must hold after the run. Each entry has exactly one kind key; its value is
// converted here to the form the trace and the final line use, so that checking is comparing.
#include "Board/BoardSections.h"
#include "Board/BoardText.h"
#include "Board/KnownNames.h"
#include "Board/NameSuggestion.h"
#include "Board/PcdTable.h"

#include <algorithm>

namespace boardsim {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kKindKeys[] = {
    "outcome",       "pcd",       "macs",     "error_stops", "uart",  "framed_text", "post_codes",
    "host_register", "s3_record", "s3_table", "image",       "smbus", "ipmi",        "event"};
constexpr ExpectKind kKinds[] = {
    ExpectKind::Outcome,  ExpectKind::Pcd,        ExpectKind::Macs,      ExpectKind::ErrorStops,
    ExpectKind::Uart,     ExpectKind::FramedText, ExpectKind::PostCodes, ExpectKind::HostRegister,
    ExpectKind::S3Record, ExpectKind::S3Table,    ExpectKind::Image,     ExpectKind::Smbus,
    ExpectKind::Ipmi,     ExpectKind::Event};
static_assert(std::size(kKindKeys) == std::size(kKinds));

constexpr std::string_view kOutcomes[] = {"completed", "halted"};

// The `ev` names of docs/trace.md.
constexpr std::string_view kEventNames[] = {"io",
                                            "pci_cfg",
                                            "mmio",
                                            "msr",
                                            "dr",
                                            "cr4",
                                            "cpuid",
                                            "smbus",
                                            "ipmi",
                                            "stall",
                                            "tsc",
                                            "pause",
                                            "entry",
                                            "unload",
                                            "fault",
                                            "injected",
                                            "pcd_get",
                                            "pcd_set",
                                            "variable_get",
                                            "ppi_install",
                                            "ppi_notify",
                                            "ppi_locate",
                                            "protocol_install",
                                            "protocol_uninstall",
                                            "protocol_notify",
                                            "protocol_locate",
                                            "handles_locate",
                                            "handle_protocol",
                                            "event_create",
                                            "event_signal",
                                            "event_close",
                                            "notify",
                                            "notify_return",
                                            "alloc",
                                            "free",
                                            "mark_item",
                                            "table_get",
                                            "table_apply",
                                            "smi_register",
                                            "smi",
                                            "communicate",
                                            "smram_map",
                                            "call",
                                            "return",
                                            "repeat"};

// Fields each table-valued kind may name (empty: any field of the event).
struct TableKind {
  ExpectKind kind;
  std::vector<std::string_view> fields;
  std::vector<std::string_view> required;
};
const TableKind kTableKinds[] = {
    {ExpectKind::HostRegister, {"instance", "index", "value"}, {"instance", "index", "value"}},
    {ExpectKind::S3Record, {"address", "locked", "closed", "table_base"}, {}},
    {ExpectKind::S3Table, {"address", "freed", "end_mark"}, {}},
    {ExpectKind::Image, {"image", "status", "unloaded"}, {"image"}},
    {ExpectKind::Smbus, {"op", "address", "command", "data", "status"}, {}},
    {ExpectKind::Ipmi, {"netfn", "lun", "command", "request", "size_in", "status", "size_out"}, {}},
    {ExpectKind::Event, {}, {"ev"}},
};
// Fields whose value is a byte string (hex text, any case, spaces and ':' ignored).
constexpr std::string_view kByteFields[] = {"request", "bytes", "text",    "first",  "second",
                                            "third",   "table", "buffer1", "buffer2"};

constexpr std::string_view kModifiers[] = {"call", "base", "count", "never", "in_order"};

// Byte strings as the trace writes them: lowercase hex without separators.
std::string HexOf(const std::vector<uint8_t> &bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
  }
  return text;
}

bool IsEventKind(ExpectKind kind) {
  return kind == ExpectKind::Smbus || kind == ExpectKind::Ipmi || kind == ExpectKind::Event;
}

// A TOML value as the trace would write it; nullopt after reporting what cannot be.
std::optional<Json> ToJson(BoardReader &reader, const toml::node &node, const std::string &key,
                           bool bytes) {
  if (bytes) {
    auto value = reader.Bytes(node, key);
    return value ? std::optional<Json>(HexOf(*value)) : std::nullopt;
  }
  if (const auto *integer = node.as_integer()) {
    if (integer->get() < 0)
      return Json(integer->get());
    return Json(static_cast<uint64_t>(integer->get()));
  }
  if (const auto *text = node.as_string())
    return Json(text->get());
  if (const auto *flag = node.as_boolean())
    return Json(flag->get());
  reader.WrongType(node, key, "an integer, a string or true/false",
                   "expectations compare with the values of the trace");
  return std::nullopt;
}

// A table's entries in the order the file gives them (TOML tables keep their keys sorted), so
// that a failed expectation shows its values as they were written.
std::vector<std::pair<const toml::key *, const toml::node *>>
InFileOrder(const toml::table &table) {
  std::vector<std::pair<const toml::key *, const toml::node *>> entries;
  for (auto &&[name, node] : table)
    entries.emplace_back(&name, &node);
  std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
    const toml::source_position &x = a.first->source().begin, &y = b.first->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  return entries;
}

std::optional<Json> ReadTable(TableReader &entry, std::string_view kindKey, ExpectKind kind) {
  const TableKind *shape = nullptr;
  for (const TableKind &candidate : kTableKinds)
    if (candidate.kind == kind)
      shape = &candidate;
  std::optional<TableReader> table = entry.SubTable(kindKey);
  if (!table)
    return std::nullopt;
  BoardReader &reader = entry.reader();
  Json fields = Json::object();
  bool ok = true;
  for (const auto &[name, node] : InFileOrder(table->table())) {
    const std::string field(name->str());
    const toml::node &value = *node;
    const bool known =
        shape->fields.empty() ||
        std::find(shape->fields.begin(), shape->fields.end(), field) != shape->fields.end();
    if (!known)
      continue; // reported by RejectUnknownKeys
    table->Find(field);
    const bool bytes =
        std::find(std::begin(kByteFields), std::end(kByteFields), field) != std::end(kByteFields);
    if (auto json = ToJson(reader, value, table->KeyPath(field), bytes))
      fields[field] = std::move(*json);
    else
      ok = false;
  }
  for (std::string_view field : shape->fields)
    table->Find(field);
  for (std::string_view field : shape->required)
    if (!table->Require(field,
                        "an expectation of this kind names its `" + std::string(field) + "`"))
      ok = false;
  if (kind == ExpectKind::Event && fields.contains("ev") && fields["ev"].is_string()) {
    const std::string ev = fields["ev"];
    if (std::find(std::begin(kEventNames), std::end(kEventNames), ev) == std::end(kEventNames)) {
      reader.Report(table->Find("ev")->source(), table->KeyPath("ev"),
                    "the trace has no event called \"" + ev + "\"", SuggestName(ev, kEventNames));
      ok = false;
    }
  }
  table->RejectUnknownKeys();
  if (kind == ExpectKind::Smbus)
    fields["ev"] = "smbus";
  if (kind == ExpectKind::Ipmi)
    fields["ev"] = "ipmi";
  return ok ? std::optional<Json>(std::move(fields)) : std::nullopt;
}

std::optional<Json> ReadPcd(TableReader &entry) {
  std::optional<TableReader> table = entry.SubTable("pcd");
  if (!table)
    return std::nullopt;
  Json values = Json::object();
  bool ok = true;
  for (const auto &[name, entryNode] : InFileOrder(table->table())) {
    const std::string key(name->str());
    const toml::node &node = *entryNode;
    table->Find(key);
    std::optional<uint32_t> token;
    if (const PcdTokenInfo *info = FindPcdToken(std::string_view(key)))
      token = info->number;
    else if (auto number = ParseNumber(key); number.value && *number.value <= UINT32_MAX)
      token = static_cast<uint32_t>(*number.value);
    if (!token) {
      std::vector<std::string_view> names;
      for (const PcdTokenInfo &info : kPcdTokenTable)
        names.push_back(info.name);
      entry.reader().Report(name->source(), table->KeyPath(key), "unknown PCD token `" + key + "`",
                            SuggestName(key, names) + ", or a token number");
      ok = false;
      continue;
    }
    if (auto value = entry.reader().Unsigned(node, table->KeyPath(key), 0, UINT64_MAX))
      values[std::to_string(*token)] = *value;
    else
      ok = false;
  }
  return ok ? std::optional<Json>(std::move(values)) : std::nullopt;
}

std::optional<Json> ReadIntegers(TableReader &entry, std::string_view key, uint64_t max) {
  std::vector<uint64_t> values;
  const toml::array *array = entry.Array(key);
  if (!array)
    return std::nullopt;
  entry.UnsignedArray(key, values, 0, max);
  if (values.size() != array->size())
    return std::nullopt;
  return Json(values);
}

std::optional<Json> ReadMacs(TableReader &entry) {
  const toml::array *array = entry.Array("macs");
  if (!array)
    return std::nullopt;
  Json macs = Json::array();
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string key = entry.KeyPath("macs") + "[" + std::to_string(i) + "]";
    auto bytes = entry.reader().Bytes((*array)[i], key);
    if (!bytes)
      return std::nullopt;
    if (bytes->size() != 6) {
      entry.reader().Report((*array)[i].source(), key,
                            "a MAC address has 6 bytes, this has " + std::to_string(bytes->size()),
                            "write it as \"3C:EC:EF:10:20:30\"; a zero MAC as \"000000000000\"");
      return std::nullopt;
    }
    macs.push_back(HexOf(*bytes));
  }
  return macs;
}

std::optional<Json> ReadKindValue(TableReader &entry, std::string_view key, ExpectKind kind) {
  BoardReader &reader = entry.reader();
  const toml::node &node = *entry.Find(key);
  switch (kind) {
  case ExpectKind::Outcome:
    if (auto index = entry.Choice(key, kOutcomes))
      return Json(kOutcomes[*index]);
    return std::nullopt;
  case ExpectKind::Pcd:
    return ReadPcd(entry);
  case ExpectKind::Macs:
    return ReadMacs(entry);
  case ExpectKind::ErrorStops:
    return ReadIntegers(entry, key, UINT32_MAX);
  case ExpectKind::PostCodes:
    return ReadIntegers(entry, key, UINT32_MAX);
  case ExpectKind::Uart:
  case ExpectKind::FramedText:
    if (auto text = reader.String(node, entry.KeyPath(key)))
      return Json(*text);
    return std::nullopt;
  case ExpectKind::S3Record:
  case ExpectKind::S3Table:
    if (const auto *text = node.as_string()) {
      if (text->get() == "none")
        return Json(nullptr);
      reader.Report(node.source(), entry.KeyPath(key), "\"" + text->get() + "\" is not \"none\"",
                    "give a table of the fields that must match, or \"none\"");
      return std::nullopt;
    }
    return ReadTable(entry, key, kind);
  default:
    return ReadTable(entry, key, kind);
  }
}

void ReadEntry(TableReader &entry, Expectation &expect, std::vector<Expectation> &all) {
  expect.line = entry.source().begin.line;
  std::vector<size_t> kinds;
  for (size_t i = 0; i < std::size(kKindKeys); ++i)
    if (entry.Find(kKindKeys[i]) != nullptr)
      kinds.push_back(i);
  BoardReader &reader = entry.reader();
  if (kinds.size() != 1) {
    const std::string found = kinds.empty()
                                  ? "no kind key"
                                  : "two kind keys, `" + std::string(kKindKeys[kinds[0]]) +
                                        "` and `" + std::string(kKindKeys[kinds[1]]) + "`";
    reader.Report(entry.source(), entry.path(), "the expectation has " + found,
                  "give each [[expect]] exactly one of: outcome, pcd, macs, error_stops, uart, "
                  "framed_text, post_codes, host_register, s3_record, s3_table, image, smbus, "
                  "ipmi, event");
    for (std::string_view modifier : kModifiers)
      entry.Find(modifier);
    entry.RejectUnknownKeys();
    return;
  }
  const std::string_view key = kKindKeys[kinds[0]];
  expect.kind = kKinds[kinds[0]];
  expect.key = entry.KeyPath(key);
  auto onlyFor = [&](std::string_view modifier, bool allowed, std::string_view kindsText) {
    const toml::node *node = entry.Find(modifier);
    if (node && !allowed)
      reader.Report(node->source(), entry.KeyPath(modifier),
                    "`" + std::string(modifier) + "` does not apply to `" + std::string(key) +
                        "` expectations",
                    "it belongs to " + std::string(kindsText) + " expectations");
    return node && allowed;
  };
  const bool ok = [&] {
    auto value = ReadKindValue(entry, key, expect.kind);
    if (value)
      expect.expected = std::move(*value);
    return value.has_value();
  }();
  if (onlyFor("call", expect.kind == ExpectKind::Macs, "`macs`"))
    entry.Unsigned("call", expect.call, 1, UINT32_MAX);
  if (onlyFor("base", expect.kind == ExpectKind::Uart, "`uart`"))
    entry.Unsigned("base", expect.base, 0, UINT32_MAX);
  const bool eventKind = IsEventKind(expect.kind);
  if (onlyFor("count", eventKind, "`event`, `smbus` and `ipmi`"))
    entry.Unsigned("count", expect.count);
  if (onlyFor("never", eventKind, "`event`, `smbus` and `ipmi`")) {
    bool never = false;
    entry.Bool("never", never);
    if (never && expect.count && *expect.count != 0)
      reader.Report(entry.Find("never")->source(), entry.KeyPath("never"),
                    "`never` contradicts `count`", "keep one of the two");
    if (never)
      expect.count = 0;
  }
  if (onlyFor("in_order", eventKind, "`event`, `smbus` and `ipmi`"))
    entry.Bool("in_order", expect.in_order);
  entry.RejectUnknownKeys();
  if (ok)
    all.push_back(std::move(expect));
}

} // namespace

void ReadExpectSection(TableReader &root, Board &board) {
  for (TableReader &entry : root.TableArray("expect")) {
    Expectation expect;
    ReadEntry(entry, expect, board.expects);
  }
}

} // namespace boardsim
