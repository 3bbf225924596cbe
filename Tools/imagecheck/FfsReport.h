// The imagecheck view of an FFS file: as a firmware engineer reads one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>

namespace imagecheck {

// File GUID, type, size and alignment, checksums and state, then each section; a dependency
// expression is decoded into opcodes and GUID names, a PE32 section into its machine and PDB.
// Throws fwfile::FfsError or fwfile::DepexError when the file does not parse.
void PrintFfsReport(std::ostream &out, const std::filesystem::path &path,
                    std::span<const std::uint8_t> bytes);

} // namespace imagecheck
