// Writing HTML and SVG text: escaping, and the small pieces every page of the log shares.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace boardsim::log {

// Appends `text` as HTML or XML character data or a quoted attribute value: & < > " ' become
// references, control characters other than tab and line breaks (not allowed in either, not even
// as references in XML 1.0) become U+FFFD.
void AppendEscaped(std::string &out, std::string_view text);
std::string Escape(std::string_view text);

// The id of a trace event's row, which links from the picture, the tables and the expectations
// point at: "e123".
std::string EventAnchor(uint64_t seq);

// A number with at most one decimal, as SVG coordinates are written.
std::string Px(double value);

} // namespace boardsim::log
