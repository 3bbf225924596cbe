#include "Report/Report.h"

#include "Board/PcdTable.h"

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

namespace boardsim {
namespace {

std::string Format(const char *format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Hex(uint64_t value) { return Format("0x%llX", static_cast<unsigned long long>(value)); }

std::string Time(uint64_t us) {
  return Format("%4llu.%03llu ms", static_cast<unsigned long long>(us / 1000),
                static_cast<unsigned long long>(us % 1000));
}

std::string Str(const Json &value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "-";
  return value.dump();
}

std::string NameOf(const Json &e) {
  return e.contains("name") && e["name"].is_string() ? e["name"].get<std::string>()
                                                       : Str(e.value("guid", Json()));
}

std::string PcdName(uint64_t token) {
  const PcdTokenInfo *info = FindPcdToken(static_cast<uint32_t>(token));
  return info ? std::string(info->name) : "token " + std::to_string(token);
}

void Heading(std::ostringstream &out, const std::string &title) {
  out << '\n' << title << '\n' << std::string(title.size(), '-') << '\n';
}

// One timeline line per meaningful step; hardware accesses are summarised elsewhere.
using Describe = std::function<std::string(const Json &)>;
const std::map<std::string, Describe> &TimelineEvents() {
  static const std::map<std::string, Describe> kEvents = {
      {"entry", [](const Json &e) { return "entry point returned " + Str(e["status"]); }},
      {"unload", [](const Json &) { return std::string("image unloaded"); }},
      {"fault", [](const Json &e) { return "FAULT: " + Str(e["what"]); }},
      {"ppi_install", [](const Json &e) { return "installed PPI " + NameOf(e); }},
      {"ppi_notify", [](const Json &e) { return "asked to be told of " + NameOf(e); }},
      {"notify_return",
       [](const Json &e) { return "callback for " + NameOf(e) + " returned " + Str(e["status"]); }},
      {"protocol_install", [](const Json &e) { return "installed " + NameOf(e); }},
      {"protocol_uninstall", [](const Json &e) { return "uninstalled " + NameOf(e); }},
      {"protocol_notify", [](const Json &e) { return "asked to be told of " + NameOf(e); }},
      {"pcd_set",
       [](const Json &e) {
         return "set " + PcdName(e["token"]) + " = " + Hex(e["value"].get<uint64_t>());
       }},
      {"variable_get",
       [](const Json &e) {
         return "read variable " + Str(e["name"]) + ": " + Str(e["status"]) + ", " +
                std::to_string(e["size_out"].get<uint64_t>()) + " bytes";
       }},
      {"mark_item",
       [](const Json &e) {
         return "MarkItem(\"" + Str(e["item_name"]) + "\", " + Hex(e["code"].get<uint64_t>()) +
                ")";
       }},
      {"smi_register",
       [](const Json &e) { return "registered " + Str(e["source"]) + " SMI handler: " +
                                  Str(e["status"]); }},
      {"smi", [](const Json &e) { return "SMI raised: " + Str(e["source"]); }},
      {"communicate",
       [](const Json &e) {
         return "SMM communication, " + std::to_string(e["size"].get<uint64_t>()) + " bytes";
       }},
      {"call", [](const Json &e) { return "platform calls " + Str(e["target"]); }},
      {"return",
       [](const Json &e) { return Str(e["target"]) + " returned " + Str(e["value"]); }},
      {"s3_table_build",
       [](const Json &e) {
         return "platform built the S3 save table at " + Hex(e["address"].get<uint64_t>());
       }},
  };
  return kEvents;
}

void Timeline(std::ostringstream &out, const std::vector<Json> &events) {
  Heading(out, "Timeline");
  uint64_t stalled = 0;
  for (const Json &e : events) {
    std::string ev = e.value("ev", "");
    if (ev == "stall") stalled += e["us"].get<uint64_t>();
    auto it = TimelineEvents().find(ev);
    if (it == TimelineEvents().end()) continue;
    // smi_register's own "phase" field is the registration phase; its code runs in SMM.
    std::string phase = e["phase"].is_string() ? e["phase"].get<std::string>() : "smm";
    out << Time(e["t_us"].get<uint64_t>()) << "  " << Format("%-3s", phase.c_str())
        << "  " << Format("%-14s", Str(e["image"]).c_str()) << "  " << it->second(e) << '\n';
  }
  if (stalled) out << "(stalls took " << Time(stalled) << " of simulated time)\n";
}

void ImageTable(std::ostringstream &out, const Json &final) {
  Heading(out, "Images");
  for (const Json &image : final["images"])
    out << Format("  %-16s %-24s %s\n", Str(image["image"]).c_str(), Str(image["status"]).c_str(),
                  image["unloaded"].get<bool>() ? "unloaded" : "resident");
}

std::string MacList(const std::string &hex, size_t offset) {
  std::ostringstream out;
  auto byte = [&](size_t i) { return std::stoi(hex.substr(2 * i, 2), nullptr, 16); };
  if (hex.size() < 2 * (offset + 1)) return "(buffer too short)";
  int count = byte(offset);
  out << count << (count == 1 ? " entry" : " entries");
  for (int k = 0; k < count && hex.size() >= 2 * (offset + 1 + 6 * (k + 1)); ++k) {
    out << (k ? ", " : ": ");
    for (int b = 0; b < 6; ++b)
      out << (b ? ":" : "") << hex.substr(2 * (offset + 1 + 6 * k + b), 2);
  }
  return out.str();
}

void MacLists(std::ostringstream &out, const std::vector<Json> &events) {
  bool any = false;
  for (const Json &e : events) {
    if (e.value("ev", "") != "return" || e.value("target", "") != "GetNicMacAddresses") continue;
    if (!any) Heading(out, "MAC addresses (GetNicMacAddresses)");
    any = true;
    out << "  controller 1      "
        << (e["buffer1"].is_string() ? MacList(e["buffer1"], 3) : "(NULL buffer)") << '\n'
        << "  controllers 2-4   "
        << (e["buffer2"].is_string() ? MacList(e["buffer2"], 0) : "(NULL buffer)") << '\n';
  }
}

void PcdWrites(std::ostringstream &out, const std::vector<Json> &events) {
  bool any = false;
  for (const Json &e : events) {
    if (e.value("ev", "") != "pcd_set") continue;
    if (!any) Heading(out, "PCD values written");
    any = true;
    out << Format("  %-26s %-20s by %s\n", PcdName(e["token"]).c_str(),
                  Hex(e["value"].get<uint64_t>()).c_str(), Str(e["image"]).c_str());
  }
}

void HostRegisters(std::ostringstream &out, const Json &final) {
  if (!final.contains("host_registers") || final["host_registers"].empty()) return;
  Heading(out, "Host registers written");
  for (const Json &r : final["host_registers"])
    out << Format("  instance %llu  index %-12s = %s\n",
                  static_cast<unsigned long long>(r["instance"].get<uint64_t>()),
                  Hex(r["index"].get<uint64_t>()).c_str(), Hex(r["value"].get<uint64_t>()).c_str());
}

} // namespace

std::string RenderOutcome(const Board &board, const RunResult &result) {
  std::ostringstream out;
  const Json &final = result.final;
  out << board.name << ": " << Str(final["outcome"]) << " after "
      << Time(final["t_us"].get<uint64_t>());
  for (const Json &image : final["images"])
    out << "; " << Str(image["image"]) << " " << Str(image["status"])
        << (image["unloaded"].get<bool>() ? " (unloaded)" : "");
  out << '\n';
  return out.str();
}

std::string RenderReport(const Board &board, const RunResult &result,
                         const std::vector<Json> &events) {
  std::ostringstream out;
  out << "Board " << board.name;
  if (!board.description.empty()) out << " - " << board.description;
  out << '\n' << RenderOutcome(board, result);
  Timeline(out, events);
  ImageTable(out, result.final);
  MacLists(out, events);
  PcdWrites(out, events);
  HostRegisters(out, result.final);
  return out.str();
}

} // namespace boardsim
