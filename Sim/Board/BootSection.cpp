#include "Board/BoardSections.h"
#include "Board/BoardText.h"
#include "Board/KnownNames.h"
#include "Board/NameSuggestion.h"
#include "Board/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace boardsim {

namespace {

constexpr std::string_view kActionKeys[] = {"pei_install",    "dispatch", "dxe_install", "call",
                                            "build_s3_table", "signal",   "smi"};
constexpr BootAction kActions[] = {
    BootAction::PeiInstall,   BootAction::Dispatch, BootAction::DxeInstall, BootAction::Call,
    BootAction::BuildS3Table, BootAction::Signal,   BootAction::Smi};

constexpr std::string_view kSignals[] = {"ready_to_boot"};
constexpr std::string_view kSmiSources[] = {"s5_entry", "power_button"};
constexpr std::string_view kTableMemories[] = {"boot", "smram"};
constexpr TableMemory kTableMemory[] = {TableMemory::Boot, TableMemory::Smram};

constexpr uint32_t kBoardInfoProtocolSlots = 12;
constexpr uint32_t kBoardInfoPpiEntries = 10;
// The S3 save table header ends with its two offset fields: BoundaryOffset, a u64 at 32, and
// TerminatorOffset, a u64 at 40.
constexpr uint32_t kS3TableHeaderSize = 48;
constexpr uint32_t kS3TableOffsetFields = 32;
constexpr uint32_t kBoundaryMarkerSize = 4;
constexpr uint32_t kMaxS3TableSize = 0xFFFFFF;

const std::string kCallHint = "call \"GetNicMacAddresses\", \"BOARD_INFO_PROTOCOL.N\" (N from 0 "
                              "to 11) or \"BOARD_INFO_PPI.N\" (N from 0 to 9)";

// Fills the call target of `step` from its value; else returns what is wrong.
std::string ParseCallTarget(BootStep &step) {
  const std::string &value = step.value;
  if (value == "GetNicMacAddresses") {
    step.call_target = CallTarget::GetNicMacAddresses;
    step.slot = 4;
    return {};
  }
  const size_t dot = value.find('.');
  const std::string_view interface = std::string_view(value).substr(0, dot);
  uint32_t limit = 0;
  if (interface == "BOARD_INFO_PROTOCOL") {
    step.call_target = CallTarget::BoardInfoProtocolSlot;
    limit = kBoardInfoProtocolSlots;
  } else if (interface == "BOARD_INFO_PPI") {
    step.call_target = CallTarget::BoardInfoPpiEntry;
    limit = kBoardInfoPpiEntries;
  } else {
    return "unknown call \"" + value + "\"";
  }
  const char *first = value.data() + (dot == std::string::npos ? value.size() : dot + 1);
  const char *last = value.data() + value.size();
  uint32_t slot = 0;
  auto [end, error] = std::from_chars(first, last, slot);
  if (first == last || error != std::errc{} || end != last) {
    return "\"" + value + "\" does not end in a slot number";
  }
  if (slot >= limit) {
    return std::string(interface) + " has no slot " + std::to_string(slot) +
           ": its slots are 0 to " + std::to_string(limit - 1);
  }
  step.slot = slot;
  return {};
}

bool IsKnownDxeProtocol(const std::string &name) {
  return std::find(std::begin(kModelledDxeProtocols), std::end(kModelledDxeProtocols), name) !=
             std::end(kModelledDxeProtocols) ||
         ParseGuid(name).value.has_value();
}

void ReadActionValue(TableReader &entry, std::string_view key, BootStep &step) {
  BoardReader &reader = entry.reader();
  const toml::node &node = *entry.Find(key);
  auto report = [&](std::string message, std::string hint) {
    reader.Report(node.source(), entry.KeyPath(key), std::move(message), std::move(hint));
  };
  switch (step.action) {
  case BootAction::PeiInstall:
    if (auto index = entry.Choice(key, kModelledPpis))
      step.value = kModelledPpis[*index];
    break;
  case BootAction::Dispatch:
    if (auto index = entry.Choice(key, kDispatchableModules)) {
      step.value = kDispatchableModules[*index];
    }
    break;
  case BootAction::Signal:
    if (auto index = entry.Choice(key, kSignals))
      step.value = kSignals[*index];
    break;
  case BootAction::Smi:
    if (auto index = entry.Choice(key, kSmiSources))
      step.value = kSmiSources[*index];
    break;
  case BootAction::DxeInstall:
    entry.String(key, step.value);
    if (node.is_string() && !IsKnownDxeProtocol(step.value)) {
      std::string_view closest = ClosestName(step.value, kModelledDxeProtocols);
      report("the simulator has no protocol called \"" + step.value + "\"",
             closest.empty() ? "name a protocol the simulator models, or give a GUID in registry "
                               "form to install an empty interface"
                             : "did you mean `" + std::string(closest) + "`?");
    }
    break;
  case BootAction::Call:
    entry.String(key, step.value);
    if (node.is_string()) {
      if (std::string problem = ParseCallTarget(step); !problem.empty()) {
        report(problem, kCallHint);
      }
    }
    break;
  case BootAction::BuildS3Table:
    break;
  }
}

void ReadS3TableParams(TableReader &entry, BootStep &step) {
  std::optional<TableReader> table = entry.SubTable("build_s3_table");
  if (!table)
    return;
  S3TableParams &params = step.s3_table;
  table->Unsigned("size", params.size, 0, kMaxS3TableSize);
  table->Unsigned("signature", params.signature);
  table->Unsigned("boundary_offset", params.boundary_offset);
  table->Unsigned("boundary_value", params.boundary_value);
  // The terminator may point anywhere: the module writes it, and the pool reports overruns.
  if (const toml::node *node = table->Find("terminator_offset");
      node && node->is_string() && node->as_string()->get() == "record")
    params.terminator_at_record = true;
  else
    table->Unsigned("terminator_offset", params.terminator_offset);
  if (auto memory = table->Choice("table_memory", kTableMemories)) {
    params.table_memory = kTableMemory[*memory];
  }
  table->RejectUnknownKeys();
  BoardReader &reader = entry.reader();
  if (params.size < kS3TableHeaderSize) {
    reader.Report(table->Find("size")->source(), table->KeyPath("size"),
                  "a table of " + std::to_string(params.size) +
                      " bytes cannot hold the 48-byte header",
                  "give a size of at least 48");
  } else if (params.boundary_offset > params.size - 4) {
    const toml::node *node = table->Find("boundary_offset");
    reader.Report(node ? node->source() : table->source(), table->KeyPath("boundary_offset"),
                  "the boundary marker at " + Hex(params.boundary_offset) + " lies outside the " +
                      std::to_string(params.size) + "-byte table",
                  "give an offset up to size - 4, or a larger size");
  } else if (params.boundary_offset + kBoundaryMarkerSize > kS3TableOffsetFields &&
             params.boundary_offset < kS3TableHeaderSize) {
    reader.Report(table->Find("boundary_offset")->source(), table->KeyPath("boundary_offset"),
                  "the boundary marker at " + Hex(params.boundary_offset) +
                      " would overwrite the header's offset fields (bytes 32-47)",
                  "give an offset below 29 or from 48 up");
  }
}

void ReadBuffer(TableReader &entry, std::string_view key, bool isCall,
                std::optional<std::vector<uint8_t>> &bytes, bool &isNull) {
  const toml::node *node = entry.Find(key);
  if (node == nullptr)
    return;
  if (!isCall) {
    entry.reader().Report(node->source(), entry.KeyPath(key),
                          "`" + std::string(key) + "` is an argument of call steps only",
                          "remove it, or move it to the call step it belongs to");
    return;
  }
  if (node->is_string() && node->as_string()->get() == "null") {
    isNull = true;
    return;
  }
  entry.Bytes(key, bytes);
}

void ReadStep(TableReader &entry, BootStep &step) {
  step.line = entry.source().begin.line;
  std::vector<size_t> actions;
  for (size_t i = 0; i < std::size(kActionKeys); ++i) {
    if (entry.Find(kActionKeys[i]) != nullptr)
      actions.push_back(i);
  }
  if (actions.empty()) {
    entry.reader().Report(entry.source(), entry.path(), "the boot step has no action key",
                          SuggestName("", kActionKeys) + ", e.g. dispatch = \"BoardInfoDxe\"");
  } else if (actions.size() > 1) {
    const std::string_view second = kActionKeys[actions[1]];
    entry.reader().Report(entry.Find(second)->source(), entry.KeyPath(second),
                          "the boot step has two action keys, `" +
                              std::string(kActionKeys[actions[0]]) + "` and `" +
                              std::string(second) + "`",
                          "give each action its own [[boot]] step");
  } else {
    step.action = kActions[actions[0]];
    if (step.action == BootAction::BuildS3Table) {
      ReadS3TableParams(entry, step);
    } else {
      ReadActionValue(entry, kActionKeys[actions[0]], step);
    }
  }
  const bool isCall = actions.size() == 1 && step.action == BootAction::Call;
  ReadBuffer(entry, "buffer1", isCall, step.buffer1, step.buffer1_null);
  ReadBuffer(entry, "buffer2", isCall, step.buffer2, step.buffer2_null);
  entry.RejectUnknownKeys();
}

} // namespace

void ReadBootSection(TableReader &root, Board &board) {
  if (root.Find("boot") == nullptr)
    return; // the default script stays
  board.boot.clear();
  for (TableReader &entry : root.TableArray("boot")) {
    BootStep step;
    ReadStep(entry, step);
    board.boot.push_back(std::move(step));
  }
}

} // namespace boardsim
