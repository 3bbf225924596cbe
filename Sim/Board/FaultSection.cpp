#include "Board/BoardSections.h"
#include "Board/KnownNames.h"
#include "Board/NameSuggestion.h"

#include <algorithm>
#include <vector>

namespace boardsim {

namespace {

constexpr std::string_view kPhases[] = {"pei", "dxe", "smm"};

bool IsIdentifier(std::string_view text) {
  if (text.empty() || (text[0] >= '0' && text[0] <= '9'))
    return false;
  for (char c : text) {
    bool word =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!word)
      return false;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t dot = text.find(separator); dot != std::string_view::npos;
       dot = text.find(separator, start)) {
    parts.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

template <size_t... N> std::vector<std::string_view> Join(const std::string_view (&...lists)[N]) {
  std::vector<std::string_view> all;
  (all.insert(all.end(), std::begin(lists), std::end(lists)), ...);
  return all;
}

// The services a phase's code can call: the PEI services in PEI; boot and runtime services in
// DXE; and in SMM the SMST services as well as the boot services an SMM driver's start-up uses.
std::vector<std::string_view> ServicesOf(std::string_view phase) {
  if (phase == "pei")
    return Join(kPeiServices);
  if (phase == "dxe")
    return Join(kBootServices, kRuntimeServices);
  return Join(kSmmServices, kBootServices, kRuntimeServices);
}

// Empty when `call` names a service or a platform interface member; else what is wrong.
std::pair<std::string, std::string> CheckCall(std::string_view call) {
  const std::string format =
      "write \"phase.Service\" or \"phase.INTERFACE.Member\", e.g. \"dxe.CreateEventEx\" or "
      "\"smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register\"";
  std::vector<std::string_view> parts = Split(call, '.');
  if (parts.size() < 2 || parts.size() > 3) {
    return {"\"" + std::string(call) + "\" is not a call of the form phase.Service", format};
  }
  if (std::find(std::begin(kPhases), std::end(kPhases), parts[0]) == std::end(kPhases)) {
    return {"unknown phase \"" + std::string(parts[0]) + "\"", SuggestName(parts[0], kPhases)};
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!IsIdentifier(parts[i])) {
      return {"\"" + std::string(parts[i]) + "\" is not a name", format};
    }
  }
  if (parts.size() == 2) {
    std::vector<std::string_view> services = ServicesOf(parts[0]);
    if (std::find(services.begin(), services.end(), parts[1]) == services.end()) {
      std::string_view closest = ClosestName(parts[1], services);
      return {"no " + std::string(parts[0]) + " service is called \"" + std::string(parts[1]) +
                  "\"",
              closest.empty() ? format : "did you mean `" + std::string(closest) + "`?"};
    }
    return {};
  }
  std::vector<std::string_view> interfaces =
      Join(kModelledPpis, kModelledDxeProtocols, kModelledSmmProtocols);
  if (std::find(interfaces.begin(), interfaces.end(), parts[1]) == interfaces.end()) {
    return {"the simulator provides no interface called \"" + std::string(parts[1]) + "\"",
            SuggestName(parts[1], interfaces)};
  }
  return {};
}

// Empty when `image` names an image instance such as "S3SaveSmm#1".
std::pair<std::string, std::string> CheckImage(std::string_view image) {
  const size_t hash = image.find('#');
  std::string_view module = image.substr(0, hash);
  std::string_view instance = hash == std::string_view::npos ? "" : image.substr(hash + 1);
  const bool numbered = !instance.empty() && instance[0] != '0' &&
                        instance.find_first_not_of("0123456789") == std::string_view::npos;
  const bool known = std::find(std::begin(kDispatchableModules), std::end(kDispatchableModules),
                               module) != std::end(kDispatchableModules);
  if (known && numbered)
    return {};
  if (!known) {
    return {"\"" + std::string(image) + "\" is not an image of a dispatchable module",
            SuggestName(module, kDispatchableModules)};
  }
  return {"\"" + std::string(image) + "\" does not say which instance",
          "add the instance number, counted from 1: \"" + std::string(module) + "#1\""};
}

void ReportIfWrong(TableReader &entry, std::string_view key,
                   const std::pair<std::string, std::string> &problem) {
  if (!problem.first.empty()) {
    entry.reader().Report(entry.Find(key)->source(), entry.KeyPath(key), problem.first,
                          problem.second);
  }
}

void ReadFault(TableReader &entry, FaultSpec &fault) {
  fault.line = entry.source().begin.line;
  if (entry.Require("call", "name the call to fail, e.g. call = \"dxe.LocateProtocol\"")) {
    entry.String("call", fault.call);
    if (entry.Find("call")->is_string())
      ReportIfWrong(entry, "call", CheckCall(fault.call));
  }
  entry.String("image", fault.image);
  if (fault.image)
    ReportIfWrong(entry, "image", CheckImage(*fault.image));
  entry.String("target", fault.target);
  if (fault.target && fault.target->empty()) {
    ReportIfWrong(entry, "target",
                  {"the target is empty", "name a protocol, PPI or variable, or leave it out"});
  }
  if (const toml::node *nth = entry.Find("nth")) {
    if (nth->is_string() && nth->as_string()->get() == "all") {
      fault.nth.reset();
    } else if (!nth->is_string()) {
      if (auto value = entry.reader().Unsigned(*nth, entry.KeyPath("nth"), 1, UINT32_MAX)) {
        fault.nth = static_cast<uint32_t>(*value);
      }
    } else {
      ReportIfWrong(entry, "nth",
                    {"\"" + nth->as_string()->get() + "\" is neither a count nor \"all\"",
                     "give which matching call fails, counted from 1, or \"all\""});
    }
  }
  if (const toml::node *status = entry.Find("status");
      status != nullptr && status->is_string() && status->as_string()->get() == "EFI_SUCCESS") {
    ReportIfWrong(entry, "status",
                  {"EFI_SUCCESS would make nothing fail",
                   "give an error or warning status, e.g. \"EFI_OUT_OF_RESOURCES\""});
  } else if (auto status = entry.Choice("status", kFaultStatuses)) {
    fault.status = std::string(kFaultStatuses[*status]);
  }
  entry.RejectUnknownKeys();
}

} // namespace

void ReadFaultSection(TableReader &root, Board &board) {
  for (TableReader &entry : root.TableArray("fault")) {
    FaultSpec fault;
    ReadFault(entry, fault);
    board.faults.push_back(std::move(fault));
  }
}

} // namespace boardsim
