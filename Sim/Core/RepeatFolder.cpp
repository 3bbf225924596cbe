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
  recent_.push_back(std::move(key));
  if (recent_.size() > kMaxPeriod * kFoldAfter)
    recent_.pop_front();
  for (size_t period = 1; period <= kMaxPeriod; ++period) {
    const size_t span = period * kFoldAfter;
    if (recent_.size() < span)
      break;
    bool periodic = true;
    for (size_t i = recent_.size() - span + period; periodic && i < recent_.size(); ++i)
      periodic = recent_[i] == recent_[i - period];
    if (periodic) {
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
  times_ = 0;
}

void RepeatFolder::Finish(std::vector<Json> &out) {
  if (!block_.empty())
    EndFold(out);
}

} // namespace boardsim
