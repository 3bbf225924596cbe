// What every page of the log shares: the head with its style sheet and a content security
// policy that lets the page load nothing from anywhere, and the end.
#pragma once
#include <string>
#include <string_view>

namespace boardsim::log {

// Appends "<!DOCTYPE html>" up to and including "<body>".
void PageStart(std::string &out, std::string_view title);
void PageEnd(std::string &out);

// The script of a board page: the trace table with its filters and pages, and the jumps to a
// trace line that the picture's items and the tables' links make.
extern const std::string_view kTraceScript;

} // namespace boardsim::log
