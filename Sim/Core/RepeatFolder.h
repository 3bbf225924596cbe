// Folding of a run that repeats itself: once the same block of up to kMaxPeriod events has
// happened kFoldAfter times in a row, further repetitions are left out of the trace and counted,
// and one `repeat` event says how many there were. The modules' own bounded waits (at most 65535
// polls) stay whole; a processor spinning without end adds one line, not gigabytes. Two events are
// the same when they differ only in `seq`, `t_us` and the value of a TSC read (which a spin loop
// advances on every pass).
#pragma once
#include <array>
#include <deque>
#include <nlohmann/json.hpp>
#include <vector>

namespace boardsim {

using Json = nlohmann::ordered_json;

class RepeatFolder {
public:
  static constexpr size_t kMaxPeriod = 4;
  static constexpr size_t kFoldAfter = 100'000;

  // The events to record for `event`: none while it continues a folded repetition; else the
  // `repeat` event and the held-back events of a repetition it ended, then itself.
  void Push(Json event, std::vector<Json> &out);
  // What is still held back, at the end of the run.
  void Finish(std::vector<Json> &out);

private:
  void EndFold(std::vector<Json> &out);

  std::deque<Json> recent_;                  // the last kMaxPeriod events recorded
  std::array<size_t, kMaxPeriod> matches_{}; // per period: events in a row that repeat
  std::vector<Json> block_;   // the repeated block while folding (empty: not folding)
  size_t position_ = 0;       // the block's next expected event
  uint64_t times_ = 0;        // whole blocks left out
  std::vector<Json> partial_; // events of a block begun but not completed
  Json last_;                 // the last event of the last whole block left out
};

} // namespace boardsim
