// Runs a board (given as TOML text) through the simulator and answers questions about its
// trace: the shared fixture of the scenario tests.
#pragma once
#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::testing {

class Scenario {
public:
  // Parses the board (failing the test on any board-file error) and runs it; `listener`, if
  // given, sees each event as it happens.
  explicit Scenario(std::string_view boardText,
                    std::function<void(const Json &)> listener = nullptr);

  const RunResult &result() const { return result_; }
  const Json & final() const { return result_.final; }
  bool halted() const { return result_.outcome == Outcome::Halted; }
  const std::vector<Json> &events() const { return events_; }
  // The engine that ran the modules (BOARDSIM_ENGINE).
  Engine engine() const { return engine_; }

  // Events of one kind, in trace order, optionally filtered further.
  std::vector<Json> Of(std::string_view ev,
                       const std::function<bool(const Json &)> &match = nullptr) const;
  // The first event of a kind that matches, or a null Json.
  Json First(std::string_view ev, const std::function<bool(const Json &)> &match = nullptr) const;
  // Position in the trace of the first matching event, or -1.
  long IndexOf(std::string_view ev, const std::function<bool(const Json &)> &match = nullptr) const;
  // The `fault` events' texts.
  std::vector<std::string> Faults() const;

private:
  RunResult result_;
  std::vector<Json> events_;
  Engine engine_ = Engine::Host;
};

// The text of an example board in boards/ (`name` with its .toml).
std::string ExampleBoard(const std::string &name);

// Field matchers for Of/First/IndexOf.
std::function<bool(const Json &)> Field(const std::string &key, const Json &value);
std::function<bool(const Json &)> AllOf(std::vector<std::function<bool(const Json &)>> matchers);

} // namespace boardsim::testing
