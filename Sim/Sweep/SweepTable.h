// The readable sweep report: per call site what each status led to, then a total line.
#pragma once
#include "Sweep/Sweep.h"

#include <string>

namespace boardsim {

std::string RenderSweepTable(const SweepResult &result);
// "756 runs at 84 call sites: 412 same, ..."
std::string RenderSweepTotal(const SweepResult &result);

} // namespace boardsim
