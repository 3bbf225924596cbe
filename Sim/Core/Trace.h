// The run's trace: one JSON object per event, in the order things happened. Events are built
// only while someone listens (a capture for tests and reports, a stream to a file, or a listener
// that sees each event as it happens), so a run with tracing off pays nothing for them.
#pragma once
#include "Core/RepeatFolder.h"

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

using Json = nlohmann::ordered_json;

enum class Phase { Pei, Dxe, Smm };
const char *PhaseName(Phase phase);

class Trace {
public:
  // Keep every event in memory (tests, reports).
  void Capture(bool on) { capture_ = on; }
  // Also write each event as one JSON line.
  void StreamTo(std::ostream *out) { stream_ = out; }
  // Also call `listener` with each event the moment it is recorded, before repeats are folded:
  // a test can act as hardware that reacts to what the modules do.
  void Listen(std::function<void(const Json &)> listener) { listener_ = std::move(listener); }
  bool On() const { return capture_ || stream_ != nullptr || listener_; }

  // Records an event; `fill` adds the event's own fields and runs only when tracing is on.
  template <typename Fill>
  void Emit(std::string_view ev, uint64_t tUs, Phase phase, std::string_view image, Fill &&fill) {
    if (!On())
      return;
    Json event = Header(ev, tUs, phase, image);
    fill(event);
    Record(std::move(event));
  }
  // Records an event; repetitions of a block of events are folded (see RepeatFolder).
  void Record(Json event);
  // Records what folding still holds back; called before the final line.
  void Finish();

  const std::vector<Json> &Events() const { return events_; }
  uint64_t Count() const { return seq_; }

private:
  Json Header(std::string_view ev, uint64_t tUs, Phase phase, std::string_view image);
  // Numbers and writes what folding let through (kept between events for its room).
  void Write();

  bool capture_ = false;
  std::ostream *stream_ = nullptr;
  std::function<void(const Json &)> listener_;
  uint64_t seq_ = 0;
  std::vector<Json> events_;
  RepeatFolder folder_;
  std::vector<Json> ready_;
};

// An empty object with room for `members` members. The members of an ordered_json object sit in
// a vector whose keys are const, so growing it copies every member already there, nested values
// and all: an object that takes large values wants its room first.
Json ObjectWithRoom(size_t members);
// An empty array with room for `elements` elements.
Json ArrayWithRoom(size_t elements);
// Appends the member `key`, which the object does not have yet, and returns its value. A value
// built member by member (the final state) skips the search and the stand-in value that
// `object[key]` makes for every member.
Json &AddMember(Json &object, std::string_view key, Json value = nullptr);

// Byte strings appear in the trace as lowercase hex without separators.
std::string HexBytes(const uint8_t *data, size_t size);
std::string HexBytes(const std::vector<uint8_t> &bytes);

} // namespace boardsim
