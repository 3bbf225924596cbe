// Checking a board's [[expect]] entries against a finished run: its final state and its trace.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <string>
#include <vector>

namespace boardsim {

struct ExpectResult {
  uint32_t line = 0; // of the [[expect]] entry; 0 for the implied outcome
  std::string what;  // "macs (call 1)", "event fault"
  bool passed = false;
  std::string expected; // as the user wrote it, in trace form
  std::string actual;   // what the run gave (for a failure)
  // `seq` of the trace events it was judged on: the matching events (the first kMaxEvidence),
  // or the closest one when none matched; the GetNicMacAddresses return for macs.
  std::vector<uint64_t> events;
};

inline constexpr size_t kMaxEvidence = 64;

// One result per expectation, in file order. A board with expectations but none about the
// outcome also expects the run to complete: that check comes first.
std::vector<ExpectResult> CheckExpectations(const Board &board, const Json &final,
                                            const std::vector<Json> &events);

// "file:line: what: expected X, got Y" for each failure, then "N of M expectations failed" (or
// "all M expectations hold").
std::string RenderExpectations(const std::string &file, const std::vector<ExpectResult> &results);

bool AllPassed(const std::vector<ExpectResult> &results);

} // namespace boardsim
