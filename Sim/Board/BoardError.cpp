#include "Board/BoardError.h"

namespace boardsim {

std::string BoardError::ToString() const {
  std::string text = file;
  if (line != 0)
    text += ":" + std::to_string(line);
  text += ": ";
  if (!key.empty())
    text += key + ": ";
  text += message;
  if (!hint.empty())
    text += " (hint: " + hint + ")";
  return text;
}

} // namespace boardsim
