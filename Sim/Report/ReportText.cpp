#include "Report/ReportText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace boardsim::report {

std::string Format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size > 0 ? size_t(size) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

std::string Hex(uint64_t value) {
  return Format("0x%llX", static_cast<unsigned long long>(value));
}

std::string Hex32(uint64_t value) {
  return Format("0x%08llX", static_cast<unsigned long long>(value));
}

std::string HexByte(uint64_t value) {
  return Format("0x%02llX", static_cast<unsigned long long>(value));
}

std::string SimTime(uint64_t us) {
  return Format("%5llu.%03llu ms", static_cast<unsigned long long>(us / 1000),
                static_cast<unsigned long long>(us % 1000));
}

// Milliseconds, like the timeline's clock, with as many decimals as needed.
std::string Duration(uint64_t us) {
  std::string text = Format("%llu.%03llu", static_cast<unsigned long long>(us / 1000),
                            static_cast<unsigned long long>(us % 1000));
  while (text.back() == '0')
    text.pop_back();
  if (text.back() == '.')
    text.pop_back();
  return text + " ms";
}

std::string BdfText(uint64_t bdf16) {
  return Format("%02x:%02x.%x", unsigned(bdf16 >> 8 & 0xFF), unsigned(bdf16 >> 3 & 0x1F),
                unsigned(bdf16 & 7));
}

std::string PciIdText(uint64_t id) {
  return Format("%04X:%04X", unsigned(id & 0xFFFF), unsigned(id >> 16 & 0xFFFF));
}

std::string MacText(const uint8_t *bytes) {
  return Format("%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                bytes[5]);
}

std::string Plural(uint64_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count == 1)
    return text;
  if (noun.ends_with("y"))
    return text.substr(0, text.size() - 1) + "ies";
  return text + "s";
}

uint64_t U64(const Json &event, const char *key) {
  auto it = event.find(key);
  if (it == event.end() || !it->is_number())
    return 0;
  return it->is_number_float() ? uint64_t(it->get<double>()) : it->get<uint64_t>();
}

std::string Text(const Json &event, const char *key) {
  auto it = event.find(key);
  if (it == event.end() || it->is_null())
    return "-";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

bool Is(const Json &event, std::string_view ev) {
  auto it = event.find("ev");
  return it != event.end() && it->is_string() && it->get_ref<const std::string &>() == ev;
}

std::string GuidLabel(const Json &event) {
  auto name = event.find("name");
  if (name != event.end() && name->is_string())
    return name->get<std::string>();
  return Text(event, "guid");
}

std::vector<uint8_t> BytesFromHex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    int high = nibble(hex[i]), low = nibble(hex[i + 1]);
    if (high < 0 || low < 0)
      break;
    bytes.push_back(uint8_t(high << 4 | low));
  }
  return bytes;
}

std::string PrintableText(const std::vector<uint8_t> &bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t byte = bytes[i];
    if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
      continue;
    if (byte == '\n' || (byte >= 0x20 && byte < 0x7F))
      text.push_back(char(byte));
    else
      text += Format("\\x%02X", byte);
  }
  return text;
}

std::vector<uint8_t> Latin1Bytes(std::string_view utf8) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = uint8_t(utf8[i]);
    if ((byte & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      bytes.push_back(uint8_t((byte & 0x1F) << 6 | (uint8_t(utf8[i + 1]) & 0x3F)));
      ++i;
    } else {
      bytes.push_back(byte);
    }
  }
  return bytes;
}

std::string Glued(std::string text) {
  for (char &c : text)
    if (c == ' ')
      c = kGlue;
  return text;
}

std::string Unglued(std::string text) {
  std::replace(text.begin(), text.end(), kGlue, ' ');
  return text;
}

std::vector<std::string> Wrap(std::string_view text, std::string_view first, std::string_view rest,
                              size_t width) {
  std::vector<std::string> lines;
  std::string line(first);
  bool lineHasWord = false;
  auto breakLine = [&] {
    lines.push_back(line);
    line.assign(rest);
    lineHasWord = false;
  };
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    std::string_view word = text.substr(at, text.find(' ', at) - at);
    at += word.size();
    if (lineHasWord) {
      if (line.size() + 1 + word.size() <= width) {
        line += ' ';
        line += word;
        continue;
      }
      breakLine();
    }
    // A word longer than a whole line is split across lines.
    while (line.size() + word.size() > width && line.size() < width) {
      const size_t take = width - line.size();
      line += word.substr(0, take);
      word.remove_prefix(take);
      breakLine();
    }
    if (!word.empty()) {
      line += word;
      lineHasWord = true;
    }
  }
  if (lineHasWord || lines.empty())
    lines.push_back(line);
  for (std::string &text : lines)
    text = Unglued(std::move(text));
  return lines;
}

void AddWrapped(std::vector<std::string> &lines, const std::string &prefix, std::string_view text) {
  for (std::string &line : Wrap(text, prefix, std::string(prefix.size(), ' ')))
    lines.push_back(std::move(line));
}

} // namespace boardsim::report
