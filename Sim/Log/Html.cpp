#include "Log/Html.h"

#include <cmath>
#include <cstdio>

namespace boardsim::log {

void AppendEscaped(std::string &out, std::string_view text) {
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&#39;";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
        out += "\xEF\xBF\xBD";
      else
        out += c;
    }
  }
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

std::string EventAnchor(uint64_t seq) {
  return "e" + std::to_string(seq);
}

std::string Px(double value) {
  char text[32];
  const double rounded = std::round(value * 10) / 10;
  std::snprintf(text, sizeof text, rounded == std::floor(rounded) ? "%.0f" : "%.1f", rounded);
  return text;
}

} // namespace boardsim::log
