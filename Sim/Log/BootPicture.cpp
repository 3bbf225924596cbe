#include "Log/BootPicture.h"

#include "Report/ReportText.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <unordered_map>

namespace boardsim::log {
namespace {

using report::StepKind;
using report::Text;
using report::TimelineStep;
using report::U64;

constexpr std::array<std::string_view, 3> kPhaseOrder = {"pei", "dxe", "smm"};
constexpr std::string_view kPlatform = "platform";

constexpr const char *kKindNames[] = {"entry", "callback",   "call",  "stall",    "bmc_retries",
                                      "smi",   "error_stop", "fault", "injected", "expected"};
static_assert(std::size(kKindNames) == size_t(ItemKind::Expected) + 1);

// The steps that are marks in the picture.
constexpr std::pair<StepKind, ItemKind> kMarks[] = {{StepKind::Smi, ItemKind::Smi},
                                                    {StepKind::ErrorStop, ItemKind::ErrorStop},
                                                    {StepKind::Fault, ItemKind::Fault},
                                                    {StepKind::Injected, ItemKind::Injected}};

// smi_register's own `phase` is the registration phase; its code runs in SMM (as the timeline
// reads it).
std::string PhaseOf(const Json &e) {
  auto it = e.find("phase");
  return it != e.end() && it->is_string() ? it->get<std::string>() : "smm";
}

size_t PhaseRank(std::string_view phase) {
  return size_t(std::find(kPhaseOrder.begin(), kPhaseOrder.end(), phase) - kPhaseOrder.begin());
}

class Painter {
public:
  Painter(const std::vector<TimelineStep> &steps, const std::vector<Json> &events)
      : steps_(steps), events_(events), stepEnd_(steps.size()) {}

  BootPicture Draw(const std::vector<ExpectResult> &expectations) {
    picture_.steps = steps_.size();
    if (steps_.empty())
      return std::move(picture_);
    FindLanes();
    WalkEvents(expectations);
    WalkSteps();
    MarkExpectations(expectations);
    NestBars();
    return std::move(picture_);
  }

private:
  struct OpenBar {
    ItemKind kind;
    size_t lane, from;
    bool awaitsReturn; // a PEI callback, which ends with its notify_return
  };

  static std::string Key(std::string_view phase, std::string_view image) {
    return std::string(phase) + '/' + std::string(image);
  }

  void FindLanes() {
    std::vector<Lane> seen;
    std::unordered_map<std::string, bool> known;
    for (const TimelineStep &step : steps_)
      if (known.emplace(Key(step.phase, step.image), true).second)
        seen.push_back({step.phase, step.image});
    for (const Json &e : events_)
      if (known.emplace(Key(PhaseOf(e), Text(e, "image")), true).second)
        seen.push_back({PhaseOf(e), Text(e, "image")});
    std::stable_sort(seen.begin(), seen.end(), [](const Lane &a, const Lane &b) {
      return PhaseRank(a.phase) < PhaseRank(b.phase);
    });
    for (size_t i = 0; i < seen.size(); ++i)
      laneOf_[Key(seen[i].phase, seen[i].image)] = i;
    picture_.lanes = std::move(seen);
    for (const TimelineStep &step : steps_)
      picture_.stepLanes.push_back(LaneOf(step));
  }

  size_t LaneOf(std::string_view phase, std::string_view image) const {
    return laneOf_.at(Key(phase, image));
  }
  size_t LaneOf(const TimelineStep &step) const { return LaneOf(step.phase, step.image); }

  // The moment a step starts, and the moment its last event happened.
  Moment Start(size_t step) const { return {steps_[step].seq, steps_[step].t, step}; }
  Moment End(size_t step) const { return stepEnd_[step].value_or(Start(step)); }

  void AddItem(ItemKind kind, size_t lane, Moment from, Moment to, std::string label,
               bool open = false) {
    picture_.items.push_back({kind, lane, from, to, std::move(label), 0, open, ""});
  }

  // Requests to a BMC that failed so far, in one lane.
  struct Retries {
    size_t failed = 0;
    Moment first, last;
  };

  // Events in order, each with the step it belongs to: the clock, stalls and BMC retries, and
  // the moments of the events the expectations were judged on.
  void WalkEvents(const std::vector<ExpectResult> &expectations) {
    for (const ExpectResult &result : expectations)
      if (!result.events.empty())
        evidence_.emplace(result.events.front(), Moment{});
    std::map<size_t, Retries> retries; // by lane
    size_t step = 0;
    uint64_t now = steps_.front().t;
    picture_.clock.push_back(Start(0));
    for (const Json &e : events_) {
      const uint64_t seq = U64(e, "seq"), t = U64(e, "t_us");
      while (step + 1 < steps_.size() && steps_[step + 1].seq <= seq)
        ++step;
      const Moment at{seq, t, step};
      stepEnd_[step] = at;
      if (t > now)
        picture_.clock.push_back(at);
      now = std::max(now, t);
      if (auto it = evidence_.find(seq); it != evidence_.end())
        it->second = at;
      const std::string &ev = e["ev"].get_ref<const std::string &>();
      FollowCall(e, ev, at);
      if (ev != "stall" && ev != "ipmi")
        continue;
      const size_t lane = LaneOf(PhaseOf(e), Text(e, "image"));
      auto pending = retries.find(lane);
      if (ev == "stall") {
        AddStall(lane, at, U64(e, "us"));
        if (pending != retries.end() && pending->second.failed)
          pending->second.last = at; // a wait between failed requests is part of the retries
      } else if (Text(e, "status") != "EFI_SUCCESS") {
        Retries &state = retries[lane];
        if (state.failed++ == 0)
          state.first = at;
        state.last = at;
      } else if (pending != retries.end() && pending->second.failed) {
        AddRetries(lane, pending->second, at, true);
        pending->second.failed = 0;
      }
    }
    for (const auto &[lane, state] : retries)
      if (state.failed)
        AddRetries(lane, state, state.last, false);
    if (picture_.clock.back().seq != End(steps_.size() - 1).seq)
      picture_.clock.push_back(End(steps_.size() - 1));
  }

  // A stall; one that follows the lane's last stall within the same step lengthens it, so that
  // a poll loop of thousands of stalls is one span that counts them.
  void AddStall(size_t lane, const Moment &at, uint64_t us) {
    const Moment from{at.seq, at.t >= us ? at.t - us : 0, at.step};
    auto last = lastStall_.find(lane);
    if (last != lastStall_.end()) {
      auto &[index, count] = last->second;
      PictureItem &stall = picture_.items[index];
      if (stall.to.step == at.step && stall.to.t == from.t) {
        stall.to = at;
        stall.label = report::Plural(++count, "stall") + ", " +
                      report::Duration(at.t - stall.from.t) + " in all";
        return;
      }
    }
    lastStall_[lane] = {picture_.items.size(), 1};
    AddItem(ItemKind::Stall, lane, from, at, "stall of " + report::Duration(us));
  }

  // Between a member call of the platform and its return, the code each image ran for it: from
  // its first event to its last, reads included.
  void FollowCall(const Json &e, const std::string &ev, const Moment &at) {
    const bool platform = e["image"].get_ref<const std::string &>() == kPlatform;
    if (platform && ev == "call") {
      call_.emplace(Text(e, "target"), std::map<size_t, std::pair<Moment, Moment>>());
    } else if (platform && ev == "return" && call_) {
      for (const auto &[lane, span] : call_->second)
        AddItem(ItemKind::Call, lane, span.first, span.second,
                "runs " + call_->first + " for the platform");
      call_.reset();
    } else if (!platform && call_) {
      auto [it, added] = call_->second.try_emplace(LaneOf(PhaseOf(e), Text(e, "image")), at, at);
      it->second.second = at;
    }
  }

  void AddRetries(size_t lane, const Retries &state, Moment to, bool answered) {
    const std::string requests = report::Plural(state.failed, "request");
    const std::string span = report::Duration(to.t - state.first.t);
    AddItem(ItemKind::BmcRetries, lane, state.first, to,
            answered ? "BMC not ready: " + requests + " failed over " + span + " before it answered"
                     : "BMC never answered: " + requests + " over " + span);
  }

  void WalkSteps() {
    std::vector<OpenBar> open;
    std::vector<std::optional<size_t>> lastStep(picture_.lanes.size());
    // Notify functions of DXE and SMM events return unseen: one ends with its image's last step
    // before the platform acts again, or before its image starts another one or returns.
    auto closeNotifyFunctions = [&](std::optional<size_t> onlyLane) {
      for (size_t i = open.size(); i-- > 0;) {
        const OpenBar &bar = open[i];
        if (bar.kind != ItemKind::Callback || bar.awaitsReturn ||
            (onlyLane && bar.lane != *onlyLane))
          continue;
        const size_t to = std::max(bar.from, lastStep[bar.lane].value_or(bar.from));
        AddItem(bar.kind, bar.lane, Start(bar.from), End(to), steps_[bar.from].text);
        open.erase(open.begin() + long(i));
      }
    };
    auto closeBar = [&](ItemKind kind, size_t lane, size_t step, bool awaited) {
      for (size_t i = open.size(); i-- > 0;) {
        if (open[i].kind != kind || open[i].lane != lane || open[i].awaitsReturn != awaited)
          continue;
        const TimelineStep &first = steps_[open[i].from];
        AddItem(kind, lane, Start(open[i].from), End(step),
                kind == ItemKind::Entry ? "entry point; " + steps_[step].text
                                        : first.text + "; " + steps_[step].text);
        open.erase(open.begin() + long(i));
        return;
      }
    };

    for (size_t k = 0; k < steps_.size(); ++k) {
      const TimelineStep &step = steps_[k];
      const size_t lane = LaneOf(step);
      const bool platform = step.image == kPlatform;
      if (platform && step.kind != StepKind::Return)
        closeNotifyFunctions(std::nullopt);
      switch (step.kind) {
      case StepKind::Start:
        open.push_back({ItemKind::Entry, lane, k, false});
        break;
      case StepKind::Entry:
        closeNotifyFunctions(lane);
        closeBar(ItemKind::Entry, lane, k, false);
        break;
      case StepKind::Callback:
        if (step.phase != "pei")
          closeNotifyFunctions(lane);
        open.push_back({ItemKind::Callback, lane, k, step.phase == "pei"});
        break;
      case StepKind::CallbackReturn:
        closeBar(ItemKind::Callback, lane, k, true);
        break;
      case StepKind::Call:
        open.push_back({ItemKind::Call, lane, k, false});
        break;
      case StepKind::Return:
        closeBar(ItemKind::Call, lane, k, false);
        break;
      default:
        for (auto [stepKind, markKind] : kMarks)
          if (step.kind == stepKind)
            AddItem(markKind, lane, Start(k), Start(k), step.text);
      }
      lastStep[lane] = k;
    }
    // What is still open when the run ends did not return.
    const size_t last = steps_.size() - 1;
    for (const OpenBar &bar : open)
      AddItem(bar.kind, bar.lane, Start(bar.from), End(last),
              (bar.kind == ItemKind::Entry ? "entry point" : steps_[bar.from].text) +
                  "; the run ended before it returned",
              true);
  }

  // Each expectation marks the first event it was judged on (the trace highlights them all).
  void MarkExpectations(const std::vector<ExpectResult> &expectations) {
    for (const ExpectResult &result : expectations) {
      if (result.events.empty())
        continue;
      const uint64_t seq = result.events.front();
      auto at = evidence_.find(seq);
      if (at == evidence_.end() || at->second.seq != seq)
        continue; // not among the captured events
      const std::string verdict = result.passed ? "held" : "failed";
      auto mark = std::find_if(picture_.items.begin(), picture_.items.end(), [&](auto &item) {
        return item.kind >= ItemKind::Smi && item.from.seq == seq;
      });
      if (mark == picture_.items.end()) {
        const Json &e = EventAt(seq);
        const size_t more = result.events.size() - 1;
        AddItem(ItemKind::Expected, LaneOf(PhaseOf(e), Text(e, "image")), at->second, at->second,
                "expectation " + result.what + " " + verdict +
                    (more ? " (the first of " + std::to_string(more + 1) + " events)" : ""));
        mark = picture_.items.end() - 1;
      }
      // A failure outweighs a held expectation on the same event.
      if (mark->expectation != "failed")
        mark->expectation = verdict;
    }
  }

  const Json &EventAt(uint64_t seq) const {
    auto it = std::lower_bound(events_.begin(), events_.end(), seq,
                               [](const Json &e, uint64_t s) { return U64(e, "seq") < s; });
    return *it;
  }

  // Depth of each bar: how many bars of its lane were open when it started and still are.
  void NestBars() {
    std::vector<size_t> bars;
    for (size_t i = 0; i < picture_.items.size(); ++i)
      if (picture_.items[i].kind <= ItemKind::Call)
        bars.push_back(i);
    std::sort(bars.begin(), bars.end(), [&](size_t a, size_t b) {
      const PictureItem &x = picture_.items[a], &y = picture_.items[b];
      return std::tie(x.lane, x.from.seq, y.to.seq) < std::tie(y.lane, y.from.seq, x.to.seq);
    });
    std::vector<uint64_t> enclosing; // `to` of the bars the current one lies within
    size_t lane = SIZE_MAX;
    for (size_t i : bars) {
      PictureItem &bar = picture_.items[i];
      if (bar.lane != lane)
        enclosing.clear(), lane = bar.lane;
      while (!enclosing.empty() && enclosing.back() < bar.from.seq)
        enclosing.pop_back();
      bar.depth = enclosing.size();
      enclosing.push_back(bar.to.seq);
    }
  }

  const std::vector<TimelineStep> &steps_;
  const std::vector<Json> &events_;
  std::vector<std::optional<Moment>> stepEnd_;
  std::unordered_map<std::string, size_t> laneOf_;
  std::unordered_map<uint64_t, Moment> evidence_; // seq -> moment
  std::map<size_t, std::pair<size_t, size_t>>
      lastStall_; // lane -> its last stall item, stalls in it
  // The member call in progress: its target, and the first and last moment of each lane in it.
  std::optional<std::pair<std::string, std::map<size_t, std::pair<Moment, Moment>>>> call_;
  BootPicture picture_;
};

Json MomentJson(const Moment &m) {
  Json json = ObjectWithRoom(3);
  json["seq"] = m.seq;
  json["t_us"] = m.t;
  json["step"] = m.step;
  return json;
}

} // namespace

const char *KindName(ItemKind kind) {
  return kKindNames[size_t(kind)];
}

BootPicture DrawBoot(const std::vector<TimelineStep> &steps, const std::vector<Json> &events,
                     const std::vector<ExpectResult> &expectations) {
  return Painter(steps, events).Draw(expectations);
}

Json PictureJson(const BootPicture &picture) {
  Json json = ObjectWithRoom(4);
  json["steps"] = picture.steps;
  json["lanes"] = Json::array();
  for (const Lane &lane : picture.lanes)
    json["lanes"].push_back({{"phase", lane.phase}, {"image", lane.image}});
  json["clock"] = Json::array();
  for (const Moment &m : picture.clock)
    json["clock"].push_back(MomentJson(m));
  Json items = Json::array();
  for (const PictureItem &item : picture.items) {
    Json entry = ObjectWithRoom(8);
    entry["kind"] = KindName(item.kind);
    entry["lane"] = item.lane;
    entry["from"] = MomentJson(item.from);
    entry["to"] = MomentJson(item.to);
    entry["label"] = item.label;
    entry["depth"] = item.depth;
    entry["open"] = item.open;
    entry["expectation"] = item.expectation.empty() ? Json() : Json(item.expectation);
    items.push_back(std::move(entry));
  }
  json["items"] = std::move(items);
  return json;
}

} // namespace boardsim::log
