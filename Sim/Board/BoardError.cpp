#include "Board/BoardError.h"

namespace boardsim {

std::string EscapeControl(const std::string &text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else
      out += c;
  }
  return out;
}

std::string BoardError::ToString() const {
  std::string text = file;
  if (line != 0)
    text += ":" + std::to_string(line);
  text += ": ";
  if (!key.empty())
    text += EscapeControl(key) + ": ";
  text += EscapeControl(message);
  if (!hint.empty())
    text += " (hint: " + EscapeControl(hint) + ")";
  return text;
}

} // namespace boardsim
