#include "Core/RepeatFolder.h"

namespace boardsim {
namespace {

// The same event apart from `seq`, `t_us` and a TSC read's value: the same members in the same
// order with the same values. Compared member by member, so a spinning processor's millions of
// events cost no copies.
bool SameEvent(const Json &a, const Json &b) {
  const Json::object_t &left = a.get_ref<const Json::object_t &>();
  const Json::object_t &right = b.get_ref<const Json::object_t &>();
  if (left.size() != right.size())
    return false;
  bool tsc = false;
  for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
    const auto &[key, value] = *l;
    if (key != r->first)
      return false;
    if (key == "seq" || key == "t_us" || (tsc && key == "value"))
      continue;
    if (value != r->second)
      return false;
    tsc |= key == "ev" && value == "tsc";
  }
  return true;
}

} // namespace

void RepeatFolder::Push(Json event, std::vector<Json> &out) {
  if (!block_.empty()) {
    if (SameEvent(event, block_[position_])) {
      partial_.push_back(std::move(event));
      if (++position_ == block_.size()) {
        ++times_;
        position_ = 0;
        last_ = std::move(partial_.back());
        partial_.clear();
      }
      return;
    }
    EndFold(out);
  }
  // matches_[p - 1]: how many events in a row equalled the one p events before them.
  for (size_t period = 1; period <= kMaxPeriod; ++period) {
    const bool same =
        recent_.size() >= period && SameEvent(recent_[recent_.size() - period], event);
    matches_[period - 1] = same ? matches_[period - 1] + 1 : 0;
  }
  if (recent_.size() == kMaxPeriod)
    recent_.pop_front();
  recent_.push_back(event);
  out.push_back(std::move(event));
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
  // The last event left out: the end of the last whole block, or of the block begun.
  const Json &last = partial_.empty() ? last_ : partial_.back();
  if (times_ > 0) {
    Json repeat;
    repeat["seq"] = 0; // numbered when recorded
    repeat["t_us"] = last.value("t_us", 0);
    repeat["phase"] = last.value("phase", "");
    repeat["image"] = last.value("image", "");
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
