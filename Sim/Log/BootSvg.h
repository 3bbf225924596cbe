// The boot picture drawn as an SVG element for the HTML log: lanes with their labels, a time
// axis whose dashed stretches are event order while simulated time stands still, and items that
// name themselves on hover and link to their trace line.
#pragma once
#include "Log/BootPicture.h"
#include "Report/TimelineSteps.h"

#include <string>
#include <string_view>

namespace boardsim::log {

// `steps` are those the picture was drawn from: each gets a tick in its lane.
std::string BootSvg(const BootPicture &picture, const std::vector<report::TimelineStep> &steps,
                    std::string_view boardName);

} // namespace boardsim::log
