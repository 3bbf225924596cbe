#include "Report/TimelineSteps.h"

#include "Board/PcdTable.h"
#include "Report/ReportText.h"

#include <functional>
#include <unordered_map>

namespace boardsim::report {
namespace {

constexpr std::string_view kReadyToBootGroup = "7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B";
constexpr std::string_view kS3HandOverGuidBytes = "f061405c51d0434fbc235e5e89b3cec0";

bool Succeeded(const Json &e) {
  return Text(e, "status") == "EFI_SUCCESS";
}

std::string GroupName(const std::string &group) {
  return group == kReadyToBootGroup ? "the ready-to-boot group" : "group " + group;
}

std::string PoolName(const std::string &space) {
  if (space == "pei")
    return "PEI memory";
  if (space == "boot")
    return "boot-services pool";
  if (space == "smram")
    return "SMRAM pool";
  return space + " memory";
}

std::string PcdLabel(uint64_t token) {
  const PcdTokenInfo *info = FindPcdToken(uint32_t(token));
  return info ? std::string(info->name) + " (" + std::to_string(token) + ")"
              : "PCD token " + std::to_string(token);
}

// The SMI a registration is for: an Sx handler names its sleep type and phase (S5 entry), a
// power-button handler its phase.
std::string SmiPurpose(const Json &e) {
  const bool entry = U64(e, "phase") == 0;
  if (Text(e, "source") == "sx")
    return "S" + std::to_string(U64(e, "type")) + (entry ? " entry" : " exit");
  return std::string("the power button") + (entry ? "" : " (exit phase)");
}

using Describer = std::function<std::optional<std::string>(const Json &, const EventLabels &)>;

const std::unordered_map<std::string, Describer> &Describers() {
  static const std::unordered_map<std::string, Describer> kDescribers = {
      {"entry", [](const Json &e, auto &) { return "entry point returned " + Text(e, "status"); }},
      {"unload", [](const Json &, auto &) { return std::string("unloaded: its entry failed"); }},
      {"fault", [](const Json &e, auto &) { return "FAULT: " + Text(e, "what"); }},
      {"injected",
       [](const Json &e, auto &) {
         const std::string target = e["target"].is_string() ? " " + Text(e, "target") : "";
         return "[[fault]] " + Text(e, "call") + target + " returned " + Text(e, "status");
       }},
      {"ppi_install", [](const Json &e, auto &) { return "installs PPI " + GuidLabel(e); }},
      {"ppi_notify", [](const Json &e, auto &) { return "registers for PPI " + GuidLabel(e); }},
      {"notify",
       [](const Json &e, const EventLabels &labels) {
         if (e.contains("event"))
           return "runs the notify function of " + labels.Of(U64(e, "event"));
         return "runs its callback for " + GuidLabel(e);
       }},
      {"notify_return",
       [](const Json &e, auto &) {
         return "callback for " + GuidLabel(e) + " returned " + Text(e, "status");
       }},
      {"ppi_locate",
       [](const Json &e, auto &) -> std::optional<std::string> {
         if (Succeeded(e))
           return std::nullopt;
         return "LocatePpi " + GuidLabel(e) + ": " + Text(e, "status");
       }},
      {"protocol_install", [](const Json &e, auto &) { return "installs " + GuidLabel(e); }},
      {"protocol_uninstall", [](const Json &e, auto &) { return "uninstalls " + GuidLabel(e); }},
      {"protocol_notify",
       [](const Json &e, auto &) { return "registers for arrivals of " + GuidLabel(e); }},
      {"protocol_locate",
       [](const Json &e, auto &) -> std::optional<std::string> {
         if (Succeeded(e))
           return std::nullopt;
         return "LocateProtocol " + GuidLabel(e) + (Text(e, "where") == "smm" ? " in SMM" : "") +
                ": " + Text(e, "status");
       }},
      {"event_create",
       [](const Json &e, auto &) {
         if (!Succeeded(e))
           return "creating an event failed: " + Text(e, "status");
         std::string text = "creates event " + std::to_string(U64(e, "event"));
         if (e.contains("group") && e["group"].is_string())
           text += " in " + GroupName(e["group"].get<std::string>());
         return text;
       }},
      {"event_signal",
       [](const Json &e, const EventLabels &labels) {
         return "signals " + labels.Of(U64(e, "event"));
       }},
      {"event_close",
       [](const Json &e, const EventLabels &labels) {
         return "closes " + labels.Of(U64(e, "event"));
       }},
      {"pcd_set",
       [](const Json &e, auto &) {
         return "sets " + PcdLabel(U64(e, "token")) + " = " + Hex(U64(e, "value"));
       }},
      {"variable_get",
       [](const Json &e, auto &) {
         return "GetVariable " + Text(e, "name") + " (" + std::to_string(U64(e, "size_in")) +
                "-byte buffer): " + Text(e, "status") + ", " + Plural(U64(e, "size_out"), "byte");
       }},
      {"alloc",
       [](const Json &e, auto &) {
         const std::string what =
             Plural(U64(e, "size"), "byte") + " of " + PoolName(Text(e, "space"));
         if (!Succeeded(e))
           return "allocating " + what + " failed: " + Text(e, "status");
         return "allocates " + what + " at " + Hex(U64(e, "addr"));
       }},
      {"free",
       [](const Json &e, auto &) {
         const std::string what = Hex(U64(e, "addr")) + " (" + PoolName(Text(e, "space")) + ")";
         if (!Succeeded(e))
           return "freeing " + what + " failed: " + Text(e, "status");
         return "frees " + what;
       }},
      {"mark_item",
       [](const Json &e, auto &) {
         const std::string call =
             "MarkItem(\"" + Text(e, "item_name") + "\", " + Hex(U64(e, "code")) + ")";
         return Succeeded(e) || !e.contains("status") ? call : call + ": " + Text(e, "status");
       }},
      {"table_get",
       [](const Json &, auto &) {
         return std::string("gets the three board tables from BOARD_TABLE_SOURCE_PPI");
       }},
      {"table_apply",
       [](const Json &e, auto &) {
         return "ApplySegmentTable: segment " + HexByte(U64(e, "segment")) + ", bus " +
                HexByte(U64(e, "bus")) + ", address " + HexByte(U64(e, "address")) + ", count " +
                std::to_string(U64(e, "count"));
       }},
      {"smi_register",
       [](const Json &e, auto &) {
         std::string text = "registers an SMI handler for " + SmiPurpose(e);
         return Succeeded(e) ? text : text + ": " + Text(e, "status");
       }},
      {"smi", [](const Json &e, auto &) { return "raises the SMI " + Text(e, "source"); }},
      {"communicate",
       [](const Json &e, auto &) {
         std::string text = "SMM communication of " + Plural(U64(e, "size"), "byte");
         return Text(e, "bytes").starts_with(kS3HandOverGuidBytes) ? text + ": S3 hand-over" : text;
       }},
      {"call", [](const Json &e, auto &) { return "calls " + Text(e, "target"); }},
      {"return",
       [](const Json &e, auto &) {
         const std::string status = Text(e, "status");
         return Text(e, "target") + " returned " + (status != "-" ? status : Text(e, "value"));
       }},
      {"s3_table_build",
       [](const Json &e, auto &) {
         std::string text = "builds a " + std::to_string(U64(e, "size")) +
                            "-byte S3 save table at " + Hex(U64(e, "address")) + " (" +
                            PoolName(Text(e, "space")) + "); ";
         return text + (U64(e, "record") ? "record " + Hex(U64(e, "record"))
                                         : "no record to attach it to");
       }},
  };
  return kDescribers;
}

} // namespace

void EventLabels::Learn(const Json &e) {
  const std::string image = Text(e, "image");
  if (Is(e, "event_create") && Succeeded(e)) {
    const uint64_t id = U64(e, "event");
    lastCreated_[image] = id;
    if (e.contains("group") && e["group"].is_string())
      purpose_[id] = GroupName(e["group"].get<std::string>());
  } else if (Is(e, "protocol_notify")) {
    auto it = lastCreated_.find(image);
    if (it != lastCreated_.end() && !purpose_.contains(it->second))
      purpose_[it->second] = "arrival of " + GuidLabel(e);
  }
}

std::string EventLabels::Of(uint64_t id) const {
  auto it = purpose_.find(id);
  std::string text = "event " + std::to_string(id);
  return it == purpose_.end() ? text : text + " (" + it->second + ")";
}

std::optional<std::string> DescribeStep(const Json &event, const EventLabels &labels) {
  auto it = Describers().find(Text(event, "ev"));
  if (it == Describers().end())
    return std::nullopt;
  return it->second(event, labels);
}

} // namespace boardsim::report
