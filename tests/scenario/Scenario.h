// Runs a board (given as TOML text) through the simulator and answers questions about its
// trace: the shared fixture of the scenario tests.
#pragma once
#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <gtest/gtest.h>

#include <cstdint>
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

// Events of one kind among `events`, and the status the last of them returned ("" if none).
std::vector<Json> Only(const std::vector<Json> &events, std::string_view ev);
std::string ReturnedStatus(const std::vector<Json> &events);

// A [[smbus]] device of the board file at `address`, with further lines `rest`.
std::string SmbusDevice(int address, const std::string &rest = "");

// A number as the trace and the report print it ("0x1F"), and as one hex byte ("1f").
std::string HexNumber(uint64_t value);
std::string HexByte(uint64_t value);

inline Json Final(const Scenario &run) {
  return run.final();
}
inline uint64_t U64(const Json &value) {
  return value.get<uint64_t>();
}

// What several themes boot and look for.
inline constexpr char kDispatchS3SaveSmm[] = "\n[[boot]]\ndispatch = \"S3SaveSmm\"\n";
inline constexpr char kDxeDriver[] = "BoardInfoDxe#1";
// S3SaveSmm's debug texts for its private-data allocation and its close-table callback.
inline constexpr char kAllocationText[] = "TarnS3LibPrivateData allocation\n";
inline constexpr char kCloseTableText[] = "TarnS3SaveCloseTableCallBack\n";
// EFI_EVENT_GROUP_READY_TO_BOOT.
inline constexpr char kReadyToBootGroup[] = "7CE88FB3-4BD7-4679-87A8-A8D8DEE50D2B";
// The module's copy of a one-range SMRAM map: one EFI_SMRAM_DESCRIPTOR.
inline constexpr uint64_t kSmramRangeTableSize = 32;

} // namespace boardsim::testing
