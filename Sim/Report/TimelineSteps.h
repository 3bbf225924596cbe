// The timeline's words for single trace events.
#pragma once
#include "Core/Trace.h"

#include <map>
#include <optional>
#include <string>

namespace boardsim::report {

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
