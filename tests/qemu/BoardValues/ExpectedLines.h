// boardsim's trace of a board as the lines the QEMU harness modules print for the same board, so
// that the two can be compared with diff. The formats are those of tests/qemu/Pei and SmmProbe:
// numbers as "0x" and upper-case hex, byte strings as upper-case hex, statuses as 64-bit values.
#pragma once
#include <istream>
#include <string>

namespace qemuboard {

// What BoardInfoPei did through the harness's PPIs (SMBus, BMC, stall, the board tables, the PCD
// writes and the variable reads), in order, and the answers of BOARD_INFO_PPI's entries.
std::string PeiLines(std::istream &trace);

// What S3SaveSmm left: the heap list it built, then its writes to the POST-code ports 0x80 and
// 0xE0 in order (an error stop's announcement and display).
std::string SmmLines(std::istream &trace);

} // namespace qemuboard
