// The readable reports of the imagecheck tool.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "PeImage.h"

namespace imagecheck {

// "0x" and `digits` upper-case hex digits at least.
std::string Hex(std::uint64_t value, int digits);

// One line: the image's size against its budget, if it has one.
std::string SizeLine(const std::string &file_name, std::uint64_t size);

// Machine, format, subsystem, entry point (with the symbol the link map puts there, when
// map_text is given), alignment, sections, non-empty data directories, relocations and size.
void PrintImageReport(std::ostream &out, const std::filesystem::path &path, const PeImage &image,
                      const std::optional<std::string> &map_text);

} // namespace imagecheck
