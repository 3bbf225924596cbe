#include "Core/Trace.h"

namespace boardsim {

const char *PhaseName(Phase phase) {
  static constexpr const char *kNames[] = {"pei", "dxe", "smm"};
  return kNames[static_cast<int>(phase)];
}

Json Trace::Header(std::string_view ev, uint64_t tUs, Phase phase, std::string_view image) {
  // Room for the header and the few fields most events have, so that filling grows nothing.
  Json event = ObjectWithRoom(8);
  AddMember(event, "seq", seq_);
  AddMember(event, "t_us", tUs);
  AddMember(event, "phase", PhaseName(phase));
  AddMember(event, "image", image);
  AddMember(event, "ev", ev);
  return event;
}

void Trace::Record(Json event) {
  if (listener_)
    listener_(event);
  folder_.Push(std::move(event), ready_);
  Write();
}

void Trace::Finish() {
  folder_.Finish(ready_);
  Write();
}

// Each line reaches the file before the run goes on, so a run that is killed or crashes leaves
// every event up to that point on disk.
void Trace::Write() {
  for (Json &event : ready_) {
    event["seq"] = seq_++;
    if (stream_)
      *stream_ << event.dump() << '\n' << std::flush;
    if (capture_)
      events_.push_back(std::move(event));
  }
  ready_.clear();
}

Json ObjectWithRoom(size_t members) {
  Json object(Json::value_t::object);
  object.get_ref<Json::object_t &>().reserve(members);
  return object;
}

Json ArrayWithRoom(size_t elements) {
  Json array(Json::value_t::array);
  array.get_ref<Json::array_t &>().reserve(elements);
  return array;
}

Json &AddMember(Json &object, std::string_view key, Json value) {
  return object.get_ref<Json::object_t &>().emplace_back(key, std::move(value)).second;
}

std::string HexBytes(const uint8_t *data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[data[i] >> 4];
    text[2 * i + 1] = kDigits[data[i] & 0xF];
  }
  return text;
}

std::string HexBytes(const std::vector<uint8_t> &bytes) {
  return HexBytes(bytes.data(), bytes.size());
}

} // namespace boardsim
