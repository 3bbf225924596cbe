#include "Depex.h"

#include <algorithm>
#include <sstream>

namespace fwfile {
namespace {

struct OpInfo {
  std::string_view Name;
  DepexOp Op;
  bool HasOperand;
  int Pops;   // values taken from the evaluation stack
  int Pushes; // values left on it
};

constexpr OpInfo kOps[] = {
    {"BEFORE", DepexOp::Before, true, 0, 1}, {"AFTER", DepexOp::After, true, 0, 1},
    {"PUSH", DepexOp::Push, true, 0, 1},     {"AND", DepexOp::And, false, 2, 1},
    {"OR", DepexOp::Or, false, 2, 1},        {"NOT", DepexOp::Not, false, 1, 1},
    {"TRUE", DepexOp::True, false, 0, 1},    {"FALSE", DepexOp::False, false, 0, 1},
    {"END", DepexOp::End, false, 1, 0},      {"SOR", DepexOp::Sor, false, 0, 0},
};

const OpInfo *FindOp(std::string_view name) {
  for (const OpInfo &info : kOps) {
    if (info.Name == name) {
      return &info;
    }
  }
  return nullptr;
}

const OpInfo *FindOp(std::uint8_t code) {
  for (const OpInfo &info : kOps) {
    if (static_cast<std::uint8_t>(info.Op) == code) {
      return &info;
    }
  }
  return nullptr;
}

[[noreturn]] void Fail(std::string_view text, std::size_t token, const std::string &what) {
  throw DepexError("dependency expression \"" + std::string(text) + "\", token " +
                   std::to_string(token + 1) + ": " + what);
}

} // namespace

std::vector<std::uint8_t> CompileDepex(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> tokens;
  for (std::string token; in >> token;) {
    tokens.push_back(token);
  }
  std::vector<std::uint8_t> bytes;
  int depth = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const OpInfo *info = FindOp(tokens[i]);
    if (info == nullptr || info->Op == DepexOp::End) {
      Fail(text, i,
           "\"" + tokens[i] +
               "\" is not an opcode; use PUSH, AND, OR, NOT, TRUE, FALSE, BEFORE, AFTER "
               "or SOR (END is added)");
    }
    if (info->Op == DepexOp::Sor && i != 0) {
      Fail(text, i, "SOR may only open the expression");
    }
    if ((info->Op == DepexOp::Before || info->Op == DepexOp::After) && tokens.size() != 2) {
      Fail(text, i, std::string(info->Name) + " takes one GUID and nothing else");
    }
    if (depth < info->Pops) {
      Fail(text, i,
           std::string(info->Name) + " needs " + std::to_string(info->Pops) +
               " value(s) on the stack, has " + std::to_string(depth));
    }
    depth += info->Pushes - info->Pops;
    bytes.push_back(static_cast<std::uint8_t>(info->Op));
    if (info->HasOperand) {
      if (++i == tokens.size()) {
        Fail(text, i - 1, std::string(info->Name) + " needs a GUID after it");
      }
      const std::optional<Guid> guid = ResolveGuid(tokens[i]);
      if (!guid) {
        Fail(text, i,
             "\"" + tokens[i] + "\" is neither a known GUID name nor a GUID in registry form");
      }
      bytes.insert(bytes.end(), guid->Bytes.begin(), guid->Bytes.end());
    }
  }
  if (depth != 1) {
    throw DepexError("dependency expression \"" + std::string(text) + "\" leaves " +
                     std::to_string(depth) + " values; it must leave exactly one");
  }
  bytes.push_back(static_cast<std::uint8_t>(DepexOp::End));
  return bytes;
}

std::vector<DepexStep> DecodeDepex(std::span<const std::uint8_t> bytes) {
  std::vector<DepexStep> steps;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const OpInfo *info = FindOp(bytes[at]);
    if (info == nullptr) {
      throw DepexError("unknown opcode " + std::to_string(bytes[at]) + " at byte " +
                       std::to_string(at));
    }
    DepexStep step{info->Op, std::nullopt};
    ++at;
    if (info->HasOperand) {
      if (bytes.size() - at < 16) {
        throw DepexError(std::string(info->Name) + " at byte " + std::to_string(at - 1) +
                         " has a cut-off GUID");
      }
      Guid guid;
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 16, guid.Bytes.begin());
      step.Operand = guid;
      at += 16;
    }
    steps.push_back(step);
    if (info->Op == DepexOp::End) {
      if (at != bytes.size()) {
        throw DepexError(std::to_string(bytes.size() - at) + " byte(s) follow END");
      }
      return steps;
    }
  }
  throw DepexError("the expression has no END");
}

std::string_view DepexOpName(DepexOp op) {
  const OpInfo *info = FindOp(static_cast<std::uint8_t>(op));
  return info != nullptr ? info->Name : "?";
}

} // namespace fwfile
