// Folding of repeated lines, so that ten identical retries read as one line with a count.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::report {

// `times` consecutive copies of `block`.
struct Repeat {
  std::vector<std::string> block;
  size_t times = 1;
};

// Splits `lines` into runs, each the longest repetition of one line or of a block of up to
// `maxBlock` lines that starts there (a shorter block wins a tie).
std::vector<Repeat> FindRepeats(const std::vector<std::string> &lines, size_t maxBlock = 8);

// The lines with each run folded: a repeated line gets a "(N times)" suffix; a repeated block
// becomes a "N <noun>, each:" line followed by the block indented by two more columns.
std::vector<std::string> FoldRepeats(const std::vector<std::string> &lines, std::string_view indent,
                                     std::string_view noun = "times");
// The same for runs FindRepeats found already.
std::vector<std::string> FoldRepeats(const std::vector<Repeat> &runs, std::string_view indent,
                                     std::string_view noun = "times");

} // namespace boardsim::report
