// The boot as a picture: one lane per phase and image over simulated time, the images' entry
// points, callbacks and the members the platform called as bars, stalls and BMC retries as spans,
// SMIs, error stops, faults and injected faults as marks, and the events the board's expectations
// were judged on highlighted. Where simulated time stands still, the timeline's step order spreads
// the items.
#pragma once
#include "Core/Trace.h"
#include "Expect/Expectations.h"
#include "Report/TimelineSteps.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace boardsim::log {

// A point of the run: a trace event, its simulated time and the timeline step it belongs to.
struct Moment {
  uint64_t seq = 0;
  uint64_t t = 0;
  size_t step = 0;
};

enum class ItemKind {
  Entry,      // bar: an image's entry point, from its call to its return
  Callback,   // bar: a PEI callback or a notify function
  Call,       // bar: an interface member the platform called, and the code it ran
  Stall,      // span: a stall
  BmcRetries, // span: requests to a BMC that did not answer yet, and the waits between them
  Smi,        // mark
  ErrorStop,  // mark
  Fault,      // mark
  Injected,   // mark: a [[fault]] entry chose the call
  Expected,   // mark: the first event an [[expect]] entry was judged on, when no other mark
};

// The name of a kind in the JSON summary and the page's classes: "entry", "bmc_retries", ...
const char *KindName(ItemKind kind);

struct Lane {
  std::string phase, image;
};

struct PictureItem {
  ItemKind kind = ItemKind::Entry;
  size_t lane = 0;
  Moment from, to; // marks: the same moment
  std::string label;
  size_t depth = 0;        // bars: how many other bars of the lane it lies within
  bool open = false;       // bars: the run ended before it did
  std::string expectation; // an [[expect]] entry judged on this event: "held" or "failed"
};

struct BootPicture {
  std::vector<Lane> lanes; // by phase (PEI, DXE, SMM), then in order of first appearance
  std::vector<PictureItem> items;
  size_t steps = 0;
  std::vector<size_t> stepLanes; // the lane of each step
  // The first moment, each moment at which simulated time moved on, and the last moment.
  std::vector<Moment> clock;
};

BootPicture DrawBoot(const std::vector<report::TimelineStep> &steps,
                     const std::vector<Json> &events,
                     const std::vector<ExpectResult> &expectations);

Json PictureJson(const BootPicture &picture);

} // namespace boardsim::log
