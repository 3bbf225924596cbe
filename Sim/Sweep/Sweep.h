// A fault sweep: every service and protocol-member call the modules make on a board, failed in
// turn with each of a set of statuses, and what each failure led to.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace boardsim {

// One call site: the nth call of `call` made by `image` in a clean run of the board.
struct CallSite {
  std::string call;   // as [[fault]] names it: "smm.SmmAllocatePool"
  std::string image;  // "S3SaveSmm#1"
  uint32_t nth = 1;   // 1-based, counted per call name and image
  std::string target; // the protocol, PPI or variable the call names ("" if none)
  friend bool operator==(const CallSite &, const CallSite &) = default;
};

// What one failed call led to, compared with the clean run. Kinds in order of severity.
enum class VerdictKind { Same, Changed, ImageError, Halted, Fault, Hang, Crash };
inline constexpr const char *kVerdictNames[] = {"same",  "changed", "image error", "halted",
                                                "fault", "hang",    "crash"};
inline constexpr size_t kVerdictKinds = std::size(kVerdictNames);

struct Verdict {
  VerdictKind kind = VerdictKind::Same;
  std::string detail; // how the results changed, the image and status, the error stop codes...
  friend bool operator==(const Verdict &, const Verdict &) = default;
};

struct SweepResult {
  std::string board;
  std::vector<std::string> statuses;
  std::vector<CallSite> sites;
  std::vector<std::vector<Verdict>> verdicts; // [site][status]
};

struct SweepOptions {
  std::vector<std::string> statuses;
  unsigned jobs = 0;            // 0: one per processor
  unsigned timeoutSeconds = 30; // a run taking longer is a hang
};

// One of each error class and one warning.
std::vector<std::string> DefaultSweepStatuses();
// Every status a [[fault]] entry may give except EFI_SUCCESS.
std::vector<std::string> AllSweepStatuses();

// The call sites of a clean run's recorded calls (calls of the platform itself left out).
struct CheckedCall;
std::vector<CallSite> CallSitesOf(const std::vector<CheckedCall> &calls);

// A run as the sweep compares it: the final state with board-memory addresses made symbolic
// (a failed allocation moves later blocks; that is not a changed result) and the faults seen.
struct Observation {
  Json final;
  std::vector<std::string> faults;
};
Verdict Classify(const Observation &clean, const Observation &run, const std::string &status);

// Runs the clean boot, then every faulted one, `jobs` at a time in child processes.
SweepResult RunSweep(const Board &board, const SweepOptions &options);

} // namespace boardsim
