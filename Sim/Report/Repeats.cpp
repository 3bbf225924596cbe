#include "Report/Repeats.h"

#include <algorithm>

namespace boardsim::report {

std::vector<Repeat> FindRepeats(const std::vector<std::string> &lines, size_t maxBlock) {
  std::vector<Repeat> runs;
  const size_t n = lines.size();
  size_t at = 0;
  while (at < n) {
    size_t bestLength = 1, bestTimes = 1;
    for (size_t length = 1; length <= maxBlock && at + 2 * length <= n; ++length) {
      size_t times = 1;
      while (at + (times + 1) * length <= n &&
             std::equal(lines.begin() + at, lines.begin() + at + length,
                        lines.begin() + at + times * length))
        ++times;
      if (times > 1 && times * length > bestTimes * bestLength) {
        bestLength = length;
        bestTimes = times;
      }
    }
    runs.push_back(Repeat{{lines.begin() + at, lines.begin() + at + bestLength}, bestTimes});
    at += bestLength * bestTimes;
  }
  return runs;
}

std::vector<std::string> FoldRepeats(const std::vector<std::string> &lines, std::string_view indent,
                                     std::string_view noun) {
  return FoldRepeats(FindRepeats(lines), indent, noun);
}

std::vector<std::string> FoldRepeats(const std::vector<Repeat> &runs, std::string_view indent,
                                     std::string_view noun) {
  std::vector<std::string> folded;
  for (const Repeat &run : runs) {
    if (run.times == 1) {
      for (const std::string &line : run.block)
        folded.push_back(std::string(indent) + line);
    } else if (run.block.size() == 1) {
      folded.push_back(std::string(indent) + run.block.front() + "  (" + std::to_string(run.times) +
                       " times)");
    } else {
      folded.push_back(std::string(indent) + std::to_string(run.times) + " " + std::string(noun) +
                       ", each:");
      for (const std::string &line : run.block)
        folded.push_back(std::string(indent) + "  " + line);
    }
  }
  return folded;
}

} // namespace boardsim::report
