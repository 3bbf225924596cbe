// The untrusted inputs the fuzz harnesses feed to the simulator and the modules. Each target
// decodes a fuzz input into one part of a base board from boards/ and boots the result; its
// seed function encodes the same part of any board, so boards/ is the seed corpus.
#pragma once
#include "ByteCodec.h"

#include "Board/Board.h"

#include <span>
#include <string_view>

namespace boardsim::fuzz {

struct Target {
  std::string_view name;      // the harness is fuzz-<name>, its corpus folder <name>
  std::string_view baseBoard; // file in boards/ the input is applied to; empty: none
  void (*apply)(ByteReader &input, Board &board);
  // Appends the seed inputs a board file (its text and its parsed board) gives.
  void (*seeds)(std::string_view text, const Board &board, std::vector<Bytes> &out);
};

// The board-file text itself, through the parser and the `check` report.
extern const Target kBoardTextTarget;
// The `Setup` variable (size and bytes) that BoardInfoPei and BoardInfoDxe read.
extern const Target kSetupTarget;
// The VPD image of a Mellanox NIC that BoardInfoDxe reads the MAC addresses from.
extern const Target kVpdTarget;
// The heap-transfer HOB records S3SaveSmm walks (headers, sizes and HOB lengths).
extern const Target kHeapTarget;
// The debug trace buffer record and the S3 save table header S3SaveSmm takes over.
extern const Target kTraceTableTarget;

inline constexpr const Target *kTargets[] = {&kBoardTextTarget, &kSetupTarget, &kVpdTarget,
                                             &kHeapTarget, &kTraceTableTarget};

// One fuzz input: decoded onto the target's base board and booted (or, for the board text,
// parsed and checked).
void RunTarget(const Target &target, std::span<const uint8_t> input);

} // namespace boardsim::fuzz
