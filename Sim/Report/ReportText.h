// Text helpers shared by the report's sections: number formats, reading trace fields, and
// fitting text into an 80-column terminal.
#pragma once
#include "Core/Trace.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::report {

inline constexpr size_t kReportWidth = 80;

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));

std::string Hex(uint64_t value);           // 0x1265
std::string Hex32(uint64_t value);         // 0x00001265
std::string HexByte(uint64_t value);       // 0x0A
std::string SimTime(uint64_t us);          // "  201.000 ms"
std::string Duration(uint64_t us);         // "200 ms", "1.5 ms", "0.04 ms"
std::string BdfText(uint64_t bdf16);       // bus << 8 | device << 3 | function -> "80:01.1"
std::string PciIdText(uint64_t id);        // device << 16 | vendor -> "8086:1521"
std::string MacText(const uint8_t *bytes); // six bytes -> "3c:ec:ef:10:20:30"
std::string Plural(uint64_t count, std::string_view noun); // "1 entry", "3 entries"

// Trace fields, tolerant of a missing or null field (0, "" or "-").
uint64_t U64(const Json &event, const char *key);
std::string Text(const Json &event, const char *key);
bool Is(const Json &event, std::string_view ev);
// The known name of a GUID field pair (`name`, `guid`), else the GUID itself.
std::string GuidLabel(const Json &event);

std::vector<uint8_t> BytesFromHex(std::string_view hex);
// Bytes as readable text: printable ASCII as is, the rest as \xNN; CR before LF dropped.
std::string PrintableText(const std::vector<uint8_t> &bytes);
// The UART text of the final object (UTF-8 from Latin-1) back to bytes.
std::vector<uint8_t> Latin1Bytes(std::string_view utf8);

// A space that Wrap never breaks a line at ("200 ms" stays together); Wrap turns it into ' '.
inline constexpr char kGlue = '\x1F';
std::string Glued(std::string text);
// The text with its glued spaces plain again, for output that is not wrapped.
std::string Unglued(std::string text);

// Word-wraps `text` into lines of at most `width` columns; the first line starts with `first`,
// the others with `rest` (both counted in the width). Words longer than a line are split.
std::vector<std::string> Wrap(std::string_view text, std::string_view first, std::string_view rest,
                              size_t width = kReportWidth);

// Appends `text` wrapped after a fixed-width prefix, continuation lines aligned under it.
void AddWrapped(std::vector<std::string> &lines, const std::string &prefix, std::string_view text);

} // namespace boardsim::report
