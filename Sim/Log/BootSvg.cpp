#include "Log/BootSvg.h"

#include "Log/Html.h"
#include "Report/ReportText.h"

#include <algorithm>
#include <optional>

namespace boardsim::log {
namespace {

constexpr double kLabelWidth = 180; // lane labels
constexpr double kPlotWidth = 960;  // what the steps and time share, unless steps need more
constexpr double kTimeShare = 0.4;  // of the plot, for time that passes
constexpr double kMinGap = 10;      // a moment of passing time is never narrower
constexpr double kMinUnit = 4;      // width of one step
// A lane from top to bottom: step ticks, bars (nested ones inset), then spans.
constexpr double kLaneHeight = 40;
constexpr double kTickTop = 1, kTickHeight = 3;
constexpr double kBarTop = 6, kBarHeight = 18, kNestInset = 3;
constexpr double kMarkCenter = 15;
constexpr double kRetriesTop = 26, kRetriesHeight = 12;
constexpr double kStallTop = 35, kStallHeight = 3;
constexpr double kTop = 6;
constexpr double kAxisHeight = 52;
constexpr double kRightMargin = 24;
constexpr double kLabelSpacing = 60; // between time labels
constexpr double kCharWidth = 6.6;   // of the 11-px labels

// Where a moment lies: its step times the step width, plus the width of the time that passed
// before it.
class Axis {
public:
  explicit Axis(const BootPicture &picture) {
    for (const Moment &m : picture.clock)
      if (times_.empty() || m.t > times_.back())
        times_.push_back(m.t);
    const uint64_t span = times_.back() - times_.front();
    const double gaps = double(times_.size() - 1);
    const double minGap = gaps ? std::min(kMinGap, kPlotWidth * kTimeShare / gaps) : 0;
    timeWidth_ = span ? std::max(kPlotWidth * kTimeShare, gaps * minGap) : 0;
    offsets_.push_back(0);
    for (size_t i = 1; i < times_.size(); ++i)
      offsets_.push_back(offsets_.back() + minGap +
                         (timeWidth_ - gaps * minGap) * double(times_[i] - times_[i - 1]) /
                             double(span));
    unit_ =
        std::max(kMinUnit, (kPlotWidth - timeWidth_) / double(std::max<size_t>(picture.steps, 1)));
    width_ = kLabelWidth + unit_ * double(picture.steps) + timeWidth_ + kRightMargin;
  }

  double X(const Moment &m) const { return X(m.step, m.t); }
  double X(size_t step, uint64_t t) const { return kLabelWidth + unit_ * double(step) + Passed(t); }
  double Unit() const { return unit_; }
  double Width() const { return width_; }

private:
  double Passed(uint64_t t) const {
    auto it = std::upper_bound(times_.begin(), times_.end(), t);
    if (it == times_.begin())
      return 0;
    const size_t i = size_t(it - times_.begin()) - 1;
    if (i + 1 == times_.size())
      return offsets_[i];
    return offsets_[i] + (offsets_[i + 1] - offsets_[i]) * double(t - times_[i]) /
                             double(times_[i + 1] - times_[i]);
  }

  std::vector<uint64_t> times_;
  std::vector<double> offsets_;
  double timeWidth_ = 0, unit_ = kMinUnit, width_ = 0;
};

class Svg {
public:
  Svg(const BootPicture &picture, const std::vector<report::TimelineStep> &steps,
      std::string_view boardName)
      : picture_(picture), steps_(steps), axis_(picture),
        lanesBottom_(kTop + kLaneHeight * double(picture.lanes.size())) {
    out_.reserve(4096 + picture.items.size() * 400);
    const std::string width = Px(axis_.Width()), height = Px(lanesBottom_ + kAxisHeight);
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"boot\" width=\"" + width +
            "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
            "\" role=\"img\" aria-label=\"";
    AppendEscaped(out_, "The boot of " + std::string(boardName) + " over simulated time");
    out_ += "\">\n";
    Lanes();
    TimeAxis();
    Steps();
    Items();
    out_ += "</svg>\n";
  }

  std::string Take() { return std::move(out_); }

private:
  double LaneTop(size_t lane) const { return kTop + kLaneHeight * double(lane); }

  void Lanes() {
    out_ += "<g class=\"lanes\">\n";
    for (size_t i = 0; i < picture_.lanes.size(); ++i) {
      const Lane &lane = picture_.lanes[i];
      const bool phaseStarts = i == 0 || picture_.lanes[i - 1].phase != lane.phase;
      out_ += "<g class=\"lane\" data-phase=\"" + Escape(lane.phase) + "\" data-image=\"" +
              Escape(lane.image) + "\"><rect class=\"lane-bg\" x=\"0\" y=\"" + Px(LaneTop(i)) +
              "\" width=\"" + Px(axis_.Width()) + "\" height=\"" + Px(kLaneHeight) +
              "\"/><text x=\"8\" y=\"" + Px(LaneTop(i) + kLaneHeight / 2 + 4) +
              "\"><tspan class=\"phase\">" + Escape(lane.phase) + "</tspan> " + Escape(lane.image) +
              "</text>";
      if (phaseStarts && i > 0)
        Line("phase-rule", 0, axis_.Width(), LaneTop(i));
      out_ += "</g>\n";
    }
    out_ += "</g>\n";
  }

  void Line(const char *cssClass, double x1, double x2, double y) {
    out_ += "<line class=\"" + std::string(cssClass) + "\" x1=\"" + Px(x1) + "\" x2=\"" + Px(x2) +
            "\" y1=\"" + Px(y) + "\" y2=\"" + Px(y) + "\"/>";
  }

  void Label(double x, double y, const std::string &text, const char *anchor = "middle") {
    out_ += "<text x=\"" + Px(x) + "\" y=\"" + Px(y) + "\" text-anchor=\"" + anchor + "\">";
    AppendEscaped(out_, text);
    out_ += "</text>";
  }

  // Solid where simulated time passes, dashed where it stands still and the steps follow each
  // other in event order; a tick and a time at each moment the clock moved.
  void TimeAxis() {
    const std::vector<Moment> &clock = picture_.clock;
    const double y = lanesBottom_ + 10;
    out_ += "<g class=\"axis\">";
    // Stretches of each kind that meet are drawn as one line: a poll loop moves the clock
    // thousands of times.
    struct Stretch {
      const char *kind;
      double from, to;
    };
    std::vector<Stretch> stretches;
    auto stretch = [&](const char *kind, double from, double to) {
      if (!stretches.empty() && stretches.back().kind == kind && stretches.back().to >= from)
        stretches.back().to = to;
      else
        stretches.push_back({kind, from, to});
    };
    double lastLabel = -kLabelSpacing;
    std::optional<uint64_t> labelled;
    for (size_t i = 0; i < clock.size(); ++i) {
      const double x = axis_.X(clock[i]);
      if (i > 0)
        stretch("time", axis_.X(clock[i].step, clock[i - 1].t), x);
      const size_t nextStep = i + 1 < clock.size() ? clock[i + 1].step : picture_.steps;
      const double still = axis_.X(nextStep, clock[i].t) - x;
      if (nextStep > clock[i].step) {
        stretch("order", x, x + still);
        const std::string note = report::Plural(nextStep - clock[i].step, "step") + " at " +
                                 report::Duration(clock[i].t);
        if (still > double(note.size()) * kCharWidth + 8)
          Label(x + still / 2, y + 26, note);
      }
      // The end is labelled unless time stood still since the last moment labelled.
      const bool end = i + 1 == clock.size();
      if (clock[i].t != labelled && (x - lastLabel >= kLabelSpacing || end)) {
        out_ += "<line class=\"tick\" x1=\"" + Px(x) + "\" x2=\"" + Px(x) + "\" y1=\"" + Px(y - 4) +
                "\" y2=\"" + Px(y + 4) + "\"/>";
        Label(x, y + 15, report::Duration(clock[i].t), end ? "end" : "middle");
        lastLabel = x;
        labelled = clock[i].t;
      }
    }
    for (const Stretch &line : stretches)
      Line(line.kind, line.from, line.to, y);
    Label(kLabelWidth - 8, y + 4, "simulated time", "end");
    out_ += "</g>\n";
  }

  // A faint tick for every step of the timeline, in its lane: where each image was busy.
  void Steps() {
    out_ += "<g class=\"steps\">\n";
    for (size_t k = 0; k < steps_.size(); ++k) {
      const report::TimelineStep &step = steps_[k];
      const size_t lane = picture_.stepLanes[k];
      out_ += "<a href=\"#" + EventAnchor(step.seq) + "\"><rect x=\"" + Px(axis_.X(k, step.t)) +
              "\" y=\"" + Px(LaneTop(lane) + kTickTop) + "\" width=\"" +
              Px(std::max(axis_.Unit() - 1, 1.0)) + "\" height=\"" + Px(kTickHeight) + "\"><title>";
      AppendEscaped(out_, report::Duration(step.t) + " " + step.image + ": " +
                              report::Unglued(step.text));
      out_ += "</title></rect></a>\n";
    }
    out_ += "</g>\n";
  }

  void Items() {
    // Spans lie under the bars, deeper bars over shallower ones, marks over everything.
    std::vector<const PictureItem *> order;
    for (const PictureItem &item : picture_.items)
      order.push_back(&item);
    auto layer = [](const PictureItem *item) {
      if (item->kind == ItemKind::BmcRetries)
        return size_t(0);
      if (item->kind == ItemKind::Stall)
        return size_t(1);
      if (item->kind <= ItemKind::Call)
        return 2 + item->depth;
      return size_t(100);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](auto *a, auto *b) { return layer(a) < layer(b); });
    out_ += "<g class=\"items\">\n";
    for (const PictureItem *item : order)
      Item(*item);
    out_ += "</g>\n";
  }

  void Item(const PictureItem &item) {
    const Lane &lane = picture_.lanes[item.lane];
    out_ += "<a href=\"#" + EventAnchor(item.from.seq) + "\" class=\"item " + KindName(item.kind) +
            (item.open ? " open" : "") +
            (item.expectation.empty() ? "" : " expect-" + item.expectation) + "\" data-kind=\"" +
            KindName(item.kind) + "\" data-seq=\"" + std::to_string(item.from.seq) + "\">";
    const double top = LaneTop(item.lane);
    const double x1 = axis_.X(item.from), x2 = axis_.X(item.to) + axis_.Unit();
    if (item.kind <= ItemKind::Call) {
      const double inset = kNestInset * double(std::min<size_t>(item.depth, 2));
      Rect(lane, item, x1, x2, top + kBarTop + inset, kBarHeight - 2 * inset);
    } else if (item.kind == ItemKind::Stall) {
      Rect(lane, item, axis_.X(item.from), axis_.X(item.to), top + kStallTop, kStallHeight);
    } else if (item.kind == ItemKind::BmcRetries) {
      Rect(lane, item, axis_.X(item.from), axis_.X(item.to), top + kRetriesTop, kRetriesHeight);
    } else {
      Mark(item, x1 + axis_.Unit() / 2, top + kMarkCenter, lane);
    }
    out_ += "</a>\n";
  }

  // A bar or span, with its label inside where it fits.
  void Rect(const Lane &lane, const PictureItem &item, double left, double right, double y,
            double h) {
    const double w = std::max(right - left, 2.0);
    out_ += "<rect x=\"" + Px(left) + "\" y=\"" + Px(y) + "\" width=\"" + Px(w) + "\" height=\"" +
            Px(h) + "\" rx=\"2\">";
    Title(lane, item);
    out_ += "</rect>";
    if (h >= 10)
      InlineLabel(item.label.substr(0, item.label.find("; ")), left, y + h / 2 + 4, w);
  }

  void Mark(const PictureItem &item, double x, double y, const Lane &lane) {
    if (!item.expectation.empty())
      out_ += "<circle class=\"ring\" cx=\"" + Px(x) + "\" cy=\"" + Px(y) + "\" r=\"9\"/>";
    switch (item.kind) {
    case ItemKind::ErrorStop:
    case ItemKind::Expected:
      out_ += "<path d=\"M" + Px(x) + " " + Px(y - 7) + "l7 7l-7 7l-7 -7z\">";
      break;
    case ItemKind::Fault:
      out_ += "<path d=\"M" + Px(x - 5) + " " + Px(y - 5) + "l10 10m0 -10l-10 10\">";
      break;
    case ItemKind::Injected:
      out_ += "<path d=\"M" + Px(x) + " " + Px(y - 6) + "l6 11h-12z\">";
      break;
    default: // an SMI
      out_ += "<circle cx=\"" + Px(x) + "\" cy=\"" + Px(y) + "\" r=\"5\">";
      Title(lane, item);
      out_ += "</circle>";
      return;
    }
    Title(lane, item);
    out_ += "</path>";
  }

  void Title(const Lane &lane, const PictureItem &item) {
    std::string text = lane.image + ": " + item.label + " (" + report::Duration(item.from.t);
    if (item.to.seq != item.from.seq)
      text += " to " + report::Duration(item.to.t) + ", events " + std::to_string(item.from.seq) +
              "-" + std::to_string(item.to.seq);
    else
      text += ", event " + std::to_string(item.from.seq);
    text += ")";
    if (!item.expectation.empty())
      text += "; an expectation was judged on it and " + item.expectation;
    out_ += "<title>";
    AppendEscaped(out_, text);
    out_ += "</title>";
  }

  // The label inside a bar, cut to what fits; nothing when not even a word does.
  void InlineLabel(const std::string &label, double x, double y, double width) {
    const auto room = size_t(std::max(0.0, (width - 8) / kCharWidth));
    if (room < 6)
      return;
    std::string text = label.size() <= room ? label : label.substr(0, room - 1) + "\xE2\x80\xA6";
    out_ += "<text class=\"inline\" x=\"" + Px(x + 4) + "\" y=\"" + Px(y) + "\">";
    AppendEscaped(out_, text);
    out_ += "</text>";
  }

  const BootPicture &picture_;
  const std::vector<report::TimelineStep> &steps_;
  Axis axis_;
  double lanesBottom_;
  std::string out_;
};

} // namespace

std::string BootSvg(const BootPicture &picture, const std::vector<report::TimelineStep> &steps,
                    std::string_view boardName) {
  if (picture.lanes.empty() || picture.clock.empty() || steps.size() != picture.steps)
    return "";
  return Svg(picture, steps, boardName).Take();
}

} // namespace boardsim::log
