// The boot as a list of steps, and the timeline's words for single trace events.
#pragma once
#include "Core/Trace.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace boardsim::report {

// What a step is, as far as a picture of the boot needs to know.
enum class StepKind {
  Start,          // an image's entry point is called
  Entry,          // an image's entry point returned
  Callback,       // a notify function or PEI callback starts
  CallbackReturn, // a PEI callback returned
  Call,           // the platform calls a module's interface member
  Return,         // that call returned
  Smi,            // the platform raises an SMI
  ErrorStop,      // an error stop is announced on the POST-code ports
  Released,       // the debug agent releases an error stop
  Fault,          // something the firmware would crash on
  Injected,       // a [[fault]] entry chose a call
  Burst,          // hardware accesses, reads and stalls of one image between two steps
  End,            // the run ends
  Other,
};

struct TimelineStep {
  uint64_t seq = 0; // the trace event it stands for (a burst: its first event)
  uint64_t t = 0;   // simulated time of that event, in microseconds
  std::string phase, image;
  StepKind kind = StepKind::Other;
  std::string text; // spaces the text report must not break a line at are kGlue
};

// The steps of a run, in trace order, from its captured events and its final object.
std::vector<TimelineStep> TimelineSteps(const std::vector<Json> &events, const Json &final);

// What each DXE/SMM event is for, learned along the trace: an event group from its creation,
// a protocol from the RegisterProtocolNotify that follows the creation by the same image.
class EventLabels {
public:
  void Learn(const Json &event);
  // "event 3 (arrival of EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL)", or "event 3".
  std::string Of(uint64_t id) const;

private:
  std::map<uint64_t, std::string> purpose_;
  std::map<std::string, uint64_t> lastCreated_; // by image
};

// One timeline line's text for a meaningful event; nullopt for events that the timeline only
// counts (hardware accesses, reads, successful look-ups) or leaves to other sections.
std::optional<std::string> DescribeStep(const Json &event, const EventLabels &labels);

} // namespace boardsim::report
