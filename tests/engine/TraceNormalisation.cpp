#include "TraceNormalisation.h"

#include "Devices/DebugAgent.h"

namespace boardsim::testing {
namespace {

constexpr const char *kAddress = "<address>";

void NormaliseEvent(Json &e) {
  const std::string ev = e.value("ev", "");
  // The debug agent's hand-over passes the text's address in EAX: the text lies in the image.
  if (ev == "io" && e.value("port", 0) == kBreakpointPort && e.value("width", 0) == 32) {
    e["value"] = kAddress;
    if (e.contains("eax"))
      e["eax"] = kAddress;
  }
  // The PEI module allocates a structure with pointers in it: its size depends on the width.
  if (ev == "alloc" && e.value("space", "") == "pei")
    e["size"] = "<pointer-sized>";
  if (ev == "final")
    for (Json &image : e["images"]) {
      // Only the image engine has guest stacks to measure.
      image.erase("stack_size");
      image.erase("stack_used");
    }
}

} // namespace

std::vector<Json> NormaliseTrace(std::vector<Json> events) {
  for (Json &e : events)
    NormaliseEvent(e);
  return events;
}

} // namespace boardsim::testing
