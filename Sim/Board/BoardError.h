// One problem found in a board file, located well enough for the user to fix it.
#pragma once

#include <cstdint>
#include <string>

namespace boardsim {

struct BoardError {
  std::string file;
  uint32_t line = 0; // 0: the problem concerns the file as a whole
  uint32_t column = 0;
  std::string key;     // dotted path, e.g. "pci[2].bdf"; empty when no key is involved
  std::string message; // what is wrong
  std::string hint;    // what to do about it; may be empty

  // "file:line: key: message (hint: ...)"
  std::string ToString() const;
};

// Text from a board file as an error message may show it: control characters and line breaks
// become escapes (\n, \t, \x1B), so a message is always one line and never drives the terminal.
std::string EscapeControl(const std::string &text);

} // namespace boardsim
