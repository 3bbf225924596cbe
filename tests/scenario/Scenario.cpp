#include "Scenario.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace boardsim::testing {

std::string ExampleBoard(const std::string &name) {
  std::ifstream file(std::string(BOARDFW_SOURCE_DIR "/boards/") + name);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_FALSE(text.str().empty()) << name;
  return text.str();
}
namespace {

// BOARDSIM_ENGINE=image runs every scenario with the firmware images instead of the host builds.
Engine ScenarioEngine() {
  const char *engine = std::getenv("BOARDSIM_ENGINE");
  return engine && std::string_view(engine) == "image" ? Engine::Image : Engine::Host;
}

} // namespace

Scenario::Scenario(std::string_view boardText, std::function<void(const Json &)> listener) {
  LoadResult loaded = ParseBoardText(boardText, "scenario.toml");
  for (const BoardError &error : loaded.errors)
    ADD_FAILURE() << error.ToString();
  if (!loaded.board)
    return;
  SimOptions options;
  options.captureTrace = true;
  options.engine = engine_ = ScenarioEngine();
  Simulator sim(*loaded.board, options);
  sim.trace().Listen(std::move(listener));
  result_ = sim.Run();
  events_ = sim.trace().Events();
}

std::vector<Json> Scenario::Of(std::string_view ev,
                               const std::function<bool(const Json &)> &match) const {
  std::vector<Json> found;
  for (const Json &e : events_)
    if (e.value("ev", "") == ev && (!match || match(e)))
      found.push_back(e);
  return found;
}

Json Scenario::First(std::string_view ev, const std::function<bool(const Json &)> &match) const {
  long index = IndexOf(ev, match);
  return index < 0 ? Json() : events_[index];
}

long Scenario::IndexOf(std::string_view ev, const std::function<bool(const Json &)> &match) const {
  for (size_t i = 0; i < events_.size(); ++i)
    if (events_[i].value("ev", "") == ev && (!match || match(events_[i])))
      return long(i);
  return -1;
}

std::vector<std::string> Scenario::Faults() const {
  std::vector<std::string> texts;
  for (const Json &e : Of("fault"))
    texts.push_back(e["what"].get<std::string>());
  return texts;
}

std::function<bool(const Json &)> Field(const std::string &key, const Json &value) {
  return [key, value](const Json &e) { return e.contains(key) && e[key] == value; };
}

std::function<bool(const Json &)> AllOf(std::vector<std::function<bool(const Json &)>> matchers) {
  return [matchers](const Json &e) {
    for (const auto &m : matchers)
      if (!m(e))
        return false;
    return true;
  };
}

std::vector<Json> Only(const std::vector<Json> &events, std::string_view ev) {
  std::vector<Json> kept;
  for (const Json &e : events)
    if (e["ev"] == ev)
      kept.push_back(e);
  return kept;
}

std::string ReturnedStatus(const std::vector<Json> &events) {
  return events.empty() ? "" : events.back()["status"].get<std::string>();
}

std::string SmbusDevice(int address, const std::string &rest) {
  return "[[smbus]]\naddress = " + std::to_string(address) + "\n" + rest + "\n";
}

std::string HexNumber(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string HexByte(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%02llx", static_cast<unsigned long long>(value));
  return text;
}

} // namespace boardsim::testing
