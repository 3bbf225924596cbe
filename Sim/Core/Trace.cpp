#include "Core/Trace.h"

namespace boardsim {

const char *PhaseName(Phase phase) {
  static constexpr const char *kNames[] = {"pei", "dxe", "smm"};
  return kNames[static_cast<int>(phase)];
}

Json Trace::Header(std::string_view ev, uint64_t tUs, Phase phase, std::string_view image) {
  Json event;
  event["seq"] = seq_;
  event["t_us"] = tUs;
  event["phase"] = PhaseName(phase);
  event["image"] = image;
  event["ev"] = ev;
  return event;
}

void Trace::Record(Json event) {
  if (listener_)
    listener_(event);
  std::vector<Json> ready;
  folder_.Push(std::move(event), ready);
  Write(ready);
}

void Trace::Finish() {
  std::vector<Json> ready;
  folder_.Finish(ready);
  Write(ready);
}

// Each line reaches the file before the run goes on, so a run that is killed or crashes leaves
// every event up to that point on disk.
void Trace::Write(std::vector<Json> &ready) {
  for (Json &event : ready) {
    event["seq"] = seq_++;
    if (stream_)
      *stream_ << event.dump() << '\n' << std::flush;
    if (capture_)
      events_.push_back(std::move(event));
  }
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
