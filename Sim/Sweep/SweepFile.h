// The classification a sweep writes with --json and compares with --expect.
#pragma once
#include "Sweep/Sweep.h"

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// One site per line, so that a pinned file changes line by line when a reaction changes.
std::string SweepToJson(const SweepResult &result);
// nullopt when `text` is not a sweep classification; `problem` then says why.
std::optional<SweepResult> SweepFromJson(const std::string &text, std::string &problem);

// Every difference of `actual` from `expected`, one readable line each; empty when they agree.
std::vector<std::string> CompareSweeps(const SweepResult &expected, const SweepResult &actual);

// A verdict for people: "halted (error stop 0x90875 \"S3 private record could not be allocated\")".
// The classification file keeps the bare detail.
std::string Describe(const Verdict &verdict);

// "smm.SmmAllocatePool S3SaveSmm#1 call 2 (target)"
std::string SiteName(const CallSite &site);

} // namespace boardsim
