#include "ExpectedLines.h"

#include "Core/Status.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>

namespace qemuboard {
namespace {

using Json = nlohmann::json;

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string UpperBytes(const Json &bytes) {
  std::string text = bytes.is_string() ? bytes.get<std::string>() : std::string();
  for (char &c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

std::string StatusValue(const Json &name) {
  const std::optional<boardsim::Status> status = boardsim::StatusFromName(name.get<std::string>());
  if (!status) {
    throw std::runtime_error("the trace names an unknown status " + name.dump());
  }
  return Hex(*status);
}

// "key=0x.." for each numeric field, in the order given.
std::string Fields(const Json &event, std::initializer_list<const char *> keys) {
  std::string text;
  for (const char *key : keys) {
    text += std::string(" ") + key + "=" + Hex(event.at(key).get<std::uint64_t>());
  }
  return text;
}

using Formatter = std::function<std::string(const Json &)>;

// The PEI module's calls into the harness's PPIs, one formatter per trace event.
const std::map<std::string, Formatter> kPeiEvents = {
    {"smbus",
     [](const Json &e) {
       return "smbus op=" + e.at("op").get<std::string>() +
              Fields(e, {"address", "command", "data"}) + " status=" + StatusValue(e.at("status"));
     }},
    {"ipmi",
     [](const Json &e) {
       return "ipmi" + Fields(e, {"netfn", "lun", "command"}) +
              " request=" + UpperBytes(e.at("request")) + Fields(e, {"size_in"}) +
              " status=" + StatusValue(e.at("status")) + Fields(e, {"size_out"});
     }},
    {"stall", [](const Json &e) { return "stall" + Fields(e, {"us"}); }},
    {"table_get",
     [](const Json &e) {
       return "table_get first=" + UpperBytes(e.at("first")) +
              " second=" + UpperBytes(e.at("second")) + " third=" + UpperBytes(e.at("third"));
     }},
    {"table_apply",
     [](const Json &e) {
       return "table_apply" + Fields(e, {"bus", "address", "segment", "count"}) +
              " table=" + UpperBytes(e.at("table"));
     }},
    {"pcd_set",
     [](const Json &e) {
       return "pcd_set" + Fields(e, {"token", "width", "value"});
     }},
    {"variable_get",
     [](const Json &e) {
       return "variable_get name=" + e.at("name").get<std::string>() + Fields(e, {"size_in"}) +
              " status=" + StatusValue(e.at("status")) + Fields(e, {"size_out"});
     }},
};

void ForEachEvent(std::istream &trace, const std::function<void(const Json &)> &visit) {
  for (std::string line; std::getline(trace, line);) {
    if (!line.empty()) {
      visit(Json::parse(line));
    }
  }
}

bool FromImage(const Json &event, const std::string &module) {
  return event.value("image", "").rfind(module + "#", 0) == 0;
}

} // namespace

std::string PeiLines(std::istream &trace) {
  std::string lines;
  ForEachEvent(trace, [&](const Json &event) {
    const std::string kind = event.at("ev");
    const auto format = kPeiEvents.find(kind);
    if (format != kPeiEvents.end() && FromImage(event, "BoardInfoPei")) {
      lines += format->second(event) + "\n";
    } else if (kind == "return" && event.value("target", "").rfind("BOARD_INFO_PPI.", 0) == 0) {
      lines += "call " + event.at("target").get<std::string>() + Fields(event, {"value"}) +
               " buffer1=" + UpperBytes(event.at("buffer1")) +
               " buffer2=" + UpperBytes(event.at("buffer2")) + "\n";
    }
  });
  return lines;
}

std::string SmmLines(std::istream &trace) {
  std::string ports, final;
  ForEachEvent(trace, [&](const Json &event) {
    const std::string kind = event.at("ev");
    if (kind == "io" && event.at("dir") == "out" && FromImage(event, "S3SaveSmm") &&
        (event.at("port") == 0x80 || event.at("port") == 0xE0)) {
      ports += "port" + Fields(event, {"port", "width", "value"}) + "\n";
    } else if (kind == "final") {
      const Json &heap = event.at("heap_list");
      if (heap.is_null()) {
        final += "heap-list none\n";
      }
      for (const Json &node : heap.is_null() ? Json::array() : heap) {
        final += "heap-node" + Fields(node, {"handle", "size"}) + "\n";
      }
    }
  });
  return final + ports;
}

} // namespace qemuboard
