// Dependency expressions (PI volume 2, 10.7): compiled from a postfix text such as
// "PUSH PCD_PROTOCOL_GUID PUSH EFI_VARIABLE_ARCH_PROTOCOL_GUID AND", and decoded back.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FfsLayout.h"
#include "Guid.h"

namespace fwfile {

struct DepexError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Opcodes and GUID operands (names or registry text) separated by spaces; END is appended. The
// expression must leave exactly one value; BEFORE and AFTER stand alone, SOR only comes first.
std::vector<std::uint8_t> CompileDepex(std::string_view text);

struct DepexStep {
  DepexOp Op;
  std::optional<Guid> Operand; // PUSH, BEFORE, AFTER
};

// The steps up to and including END; throws DepexError for an unknown opcode, a cut-off operand,
// a missing END or bytes after it.
std::vector<DepexStep> DecodeDepex(std::span<const std::uint8_t> bytes);
std::string_view DepexOpName(DepexOp op);

} // namespace fwfile
