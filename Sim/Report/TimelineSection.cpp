// The boot as a list of steps: one per meaningful event, and one bracketed step that counts the
// hardware accesses, reads and stalls an image made between two steps.
#include "Report/ErrorStops.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"
#include "Report/TimelineSteps.h"

#include <array>
#include <set>
#include <unordered_map>

namespace boardsim::report {
namespace {

constexpr uint64_t kErrorMarkerPort = 0xE0, kErrorMarker = 0xDEAD, kPostPort = 0x80;
constexpr uint64_t kErrorStopProbeLeaf = 0xBACCD00B;

enum Counted { Config, Port, Memory, Cpu, Smbus, Ipmi, PcdRead, Lookup, kCountedKinds };
constexpr std::array<const char *, kCountedKinds> kCountedNames = {
    "config", "I/O", "MMIO", "CPU", "SMBus", "IPMI", "PCD read", "look-up"};

std::optional<Counted> CountedKind(const Json &e) {
  const std::string ev = Text(e, "ev");
  if (ev == "pci_cfg")
    return Config;
  if (ev == "io")
    return Port;
  if (ev == "mmio")
    return Memory;
  if (ev == "msr" || ev == "dr" || ev == "cr4" || ev == "cpuid" || ev == "tsc" || ev == "pause")
    return Cpu;
  if (ev == "smbus")
    return Smbus;
  if (ev == "ipmi")
    return Ipmi;
  if (ev == "pcd_get")
    return PcdRead;
  if ((ev == "ppi_locate" || ev == "protocol_locate") && Text(e, "status") == "EFI_SUCCESS")
    return Lookup;
  return std::nullopt;
}

// Where a step comes from: event, time, phase and image.
struct Origin {
  uint64_t seq = 0, t = 0;
  std::string phase, image;
};

Origin OriginOf(const Json &e) {
  // smi_register's own `phase` field is the registration phase; its code runs in SMM.
  const bool named = e.contains("phase") && e["phase"].is_string();
  return {U64(e, "seq"), U64(e, "t_us"), named ? e["phase"].get<std::string>() : "smm",
          Text(e, "image")};
}

StepKind KindOf(const Json &e) {
  static const std::unordered_map<std::string, StepKind> kKinds = {
      {"entry", StepKind::Entry},
      {"notify", StepKind::Callback},
      {"notify_return", StepKind::CallbackReturn},
      {"call", StepKind::Call},
      {"return", StepKind::Return},
      {"smi", StepKind::Smi},
      {"fault", StepKind::Fault},
      {"injected", StepKind::Injected}};
  auto it = kKinds.find(Text(e, "ev"));
  return it == kKinds.end() ? StepKind::Other : it->second;
}

class Timeline {
public:
  explicit Timeline(std::vector<TimelineStep> &steps) : steps_(steps) {}

  void Step(const Json &e) {
    if (Is(e, "final"))
      return Finish(e);
    labels_.Learn(e);
    const Origin origin = OriginOf(e);
    if (burst_ && (burst_->origin.image != origin.image || burst_->origin.phase != origin.phase))
      Flush();
    if (origin.image != "platform" && started_.insert(origin.image).second)
      Add(origin, StepKind::Start, "starts: entry point called");
    if (ErrorStopAnnounced(e))
      Add(origin, StepKind::ErrorStop,
          "ERROR STOP " + Hex32(U64(e, "value")) + ": " +
              ErrorStopMeaning(uint32_t(U64(e, "value"))));
    else if (ProbeReleased(e))
      Add(origin, StepKind::Released,
          "the debug agent releases the error stop (probe answered " + Hex(U64(e, "si_out")) + ")");
    previous_ = e;
    if (std::optional<Counted> kind = CountedKind(e)) {
      Count(origin, *kind);
      return;
    }
    if (Is(e, "stall")) {
      Count(origin, std::nullopt).stalledUs += U64(e, "us");
      return;
    }
    if (std::optional<std::string> text = DescribeStep(e, labels_))
      Add(origin, KindOf(e), *text);
  }

  void Finish(const Json &final) {
    Flush();
    const std::string outcome = Text(final, "outcome");
    Add(OriginOf(final), StepKind::End,
        outcome == "halted"    ? "halted: the processor stays in the error-stop display loop"
        : outcome == "crashed" ? "crashed: the boot script stops here"
                               : "boot script finished");
  }

private:
  struct Burst {
    Origin origin;
    std::array<uint64_t, kCountedKinds> counts{};
    uint64_t stalls = 0, stalledUs = 0;
  };

  bool ErrorStopAnnounced(const Json &e) const {
    return Is(e, "io") && Text(e, "dir") == "out" && U64(e, "port") == kPostPort &&
           U64(e, "width") == 32 && Is(previous_, "io") &&
           U64(previous_, "port") == kErrorMarkerPort && U64(previous_, "value") == kErrorMarker;
  }

  static bool ProbeReleased(const Json &e) {
    return Is(e, "cpuid") && U64(e, "eax") == kErrorStopProbeLeaf && U64(e, "si_out") != 0;
  }

  Burst &Count(const Origin &origin, std::optional<Counted> kind) {
    if (!burst_)
      burst_ = Burst{origin};
    if (kind)
      ++burst_->counts[*kind];
    else
      ++burst_->stalls;
    return *burst_;
  }

  // A burst is shown when it touched hardware or waited; reads and look-ups alone are not steps.
  void Flush() {
    if (!burst_)
      return;
    Burst burst = *burst_;
    burst_.reset();
    std::string text;
    bool hardware = burst.stalls > 0;
    for (size_t kind = 0; kind < kCountedKinds; ++kind) {
      if (!burst.counts[kind])
        continue;
      hardware |= kind <= Ipmi;
      text += (text.empty() ? "" : ", ") +
              (kind >= PcdRead ? Plural(burst.counts[kind], kCountedNames[kind])
                               : std::to_string(burst.counts[kind]) + " " + kCountedNames[kind]);
    }
    if (burst.stalls)
      text += (text.empty() ? "" : ", ") + Plural(burst.stalls, "stall") +
              (burst.stalls == 1 ? " of " : ", ") + Glued(Duration(burst.stalledUs)) +
              (burst.stalls == 1 ? "" : Glued(" in all"));
    if (hardware)
      Add(burst.origin, StepKind::Burst, "[" + text + "]");
  }

  void Add(const Origin &origin, StepKind kind, std::string text) {
    if (burst_)
      Flush();
    steps_.push_back({origin.seq, origin.t, origin.phase, origin.image, kind, std::move(text)});
  }

  std::vector<TimelineStep> &steps_;
  EventLabels labels_;
  std::optional<Burst> burst_;
  std::set<std::string> started_;
  Json previous_;
};

} // namespace

std::vector<TimelineStep> TimelineSteps(const std::vector<Json> &events, const Json &final) {
  std::vector<TimelineStep> steps;
  Timeline timeline(steps);
  bool finished = false;
  for (const Json &e : events) {
    timeline.Step(e);
    finished |= Is(e, "final");
  }
  if (!steps.empty() && !finished)
    timeline.Finish(final);
  return steps;
}

Section TimelineSection(const ReportInput &input) {
  Section section;
  section.tables.push_back({"", {"time", "phase", "image", "step"}, {}, {}});
  for (const TimelineStep &step : input.steps) {
    std::vector<std::string> lines;
    AddWrapped(
        lines,
        Format("%s %-3s %-14s ", SimTime(step.t).c_str(), step.phase.c_str(), step.image.c_str()),
        step.text);
    AddRow(section, std::move(lines),
           {{Duration(step.t), step.phase, step.image, Unglued(step.text)}, step.seq});
  }
  return section;
}

} // namespace boardsim::report
