// "Did you mean" support: the known name closest to a misspelt one.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace boardsim {

// The candidate a user most likely meant by `word`, or empty when none is close enough to guess.
std::string_view ClosestName(std::string_view word, std::span<const std::string_view> candidates);

// A hint naming the closest candidate ("did you mean `x`?"), else one listing all candidates.
std::string SuggestName(std::string_view word, std::span<const std::string_view> candidates);

} // namespace boardsim
