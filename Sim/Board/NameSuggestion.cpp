#include "Board/NameSuggestion.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace boardsim {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Edit distance counting a swap of two neighbours as one edit, the commonest typing slip.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

} // namespace

std::string_view ClosestName(std::string_view word, std::span<const std::string_view> candidates) {
  const std::string lowerWord = Lower(word);
  std::string_view best;
  size_t bestDistance = SIZE_MAX;
  for (std::string_view candidate : candidates) {
    size_t distance = EditDistance(lowerWord, Lower(candidate));
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  // Close means a slip of a few characters, not a different word of similar length.
  const size_t allowed = word.size() <= 4 ? 1 : std::max<size_t>(2, word.size() / 4);
  return bestDistance <= allowed ? best : std::string_view{};
}

std::string SuggestName(std::string_view word, std::span<const std::string_view> candidates) {
  if (std::string_view closest = ClosestName(word, candidates); !closest.empty()) {
    return "did you mean `" + std::string(closest) + "`?";
  }
  std::string hint = "use one of ";
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (i > 0)
      hint += ", ";
    hint += "`" + std::string(candidates[i]) + "`";
  }
  return hint;
}

} // namespace boardsim
