#include "Core/RepeatFolder.h"

namespace boardsim {
namespace {

std::string Key(const Json &event) {
  Json key = event;
  key.erase("seq");
  key.erase("t_us");
  if (key.value("ev", "") == "tsc")
    key.erase("value");
  return key.dump();
}

} // namespace

void RepeatFolder::Push(Json event, std::vector<Json> &out) {
  std::string key = Key(event);
  if (!block_.empty()) {
    if (key == block_[position_]) {
      last_ = event;
      partial_.push_back(std::move(event));
      if (++position_ == block_.size()) {
        ++times_;
        position_ = 0;
        partial_.clear();
      }
      return;
    }
    EndFold(out);
  }
  out.push_back(std::move(event));
  // matches_[p - 1]: how many events in a row equalled the one p events before them.
  for (size_t period = 1; period <= kMaxPeriod; ++period) {
    const bool same = recent_.size() >= period && recent_[recent_.size() - period] == key;
    matches_[period - 1] = same ? matches_[period - 1] + 1 : 0;
  }
  recent_.push_back(std::move(key));
  if (recent_.size() > kMaxPeriod)
    recent_.pop_front();
  for (size_t period = 1; period <= kMaxPeriod; ++period) {
    if (matches_[period - 1] >= period * (kFoldAfter - 1)) {
      block_.assign(recent_.end() - static_cast<long>(period), recent_.end());
      position_ = 0;
      times_ = 0;
      return;
    }
  }
}

void RepeatFolder::EndFold(std::vector<Json> &out) {
  if (times_ > 0) {
    Json repeat;
    repeat["seq"] = 0; // numbered when recorded
    repeat["t_us"] = last_.value("t_us", 0);
    repeat["phase"] = last_.value("phase", "");
    repeat["image"] = last_.value("image", "");
    repeat["ev"] = "repeat";
    repeat["period"] = block_.size();
    repeat["times"] = times_;
    out.push_back(std::move(repeat));
  }
  for (Json &event : partial_)
    out.push_back(std::move(event));
  partial_.clear();
  block_.clear();
  recent_.clear();
  matches_ = {};
  times_ = 0;
}

void RepeatFolder::Finish(std::vector<Json> &out) {
  if (!block_.empty())
    EndFold(out);
}

} // namespace boardsim
