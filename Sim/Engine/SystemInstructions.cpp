#include "Engine/SystemInstructions.h"

#include "Devices/Machine.h"
#include "Engine/Registers.h"

#include <capstone/capstone.h>

#include <memory>
#include <string>

namespace boardsim {
namespace {

// General registers in ModRM order.
constexpr int kGpr[16] = {
    UC_X86_REG_RAX, UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_RBX, UC_X86_REG_RSP, UC_X86_REG_RBP,
    UC_X86_REG_RSI, UC_X86_REG_RDI, UC_X86_REG_R8,  UC_X86_REG_R9,  UC_X86_REG_R10, UC_X86_REG_R11,
    UC_X86_REG_R12, UC_X86_REG_R13, UC_X86_REG_R14, UC_X86_REG_R15,
};

struct Capstone {
  csh handle = 0;
  explicit Capstone(cs_mode mode) { cs_open(CS_ARCH_X86, mode, &handle); }
  ~Capstone() { cs_close(&handle); }
};

const Capstone &CapstoneFor(unsigned bits) {
  static const Capstone x64(CS_MODE_64), ia32(CS_MODE_32);
  return bits == 64 ? x64 : ia32;
}

// MOV to or from a debug or control register: [REX] 0F 20..23 ModRM. Only the registers the
// machine models are taken over; the processor keeps the others.
std::optional<SpecialInstruction> MoveSpecial(const cs_insn &insn, uint32_t rva) {
  size_t i = 0;
  uint8_t rex = 0;
  if ((insn.bytes[i] & 0xF0) == 0x40)
    rex = insn.bytes[i++];
  if (insn.size < i + 3 || insn.bytes[i] != 0x0F)
    return std::nullopt;
  const uint8_t op = insn.bytes[i + 1], modrm = insn.bytes[i + 2];
  const uint8_t control = static_cast<uint8_t>(((modrm >> 3) & 7) | ((rex & 4) ? 8 : 0));
  const uint8_t gpr = static_cast<uint8_t>((modrm & 7) | ((rex & 1) ? 8 : 0));
  SpecialKind kind;
  if (op == 0x21 || op == 0x23) {
    if (control != 2 && control != 3 && control != 7)
      return std::nullopt;
    kind = op == 0x21 ? SpecialKind::ReadDr : SpecialKind::WriteDr;
  } else if (op == 0x20 || op == 0x22) {
    if (control != 4)
      return std::nullopt;
    kind = op == 0x20 ? SpecialKind::ReadCr4 : SpecialKind::WriteCr4;
  } else {
    return std::nullopt;
  }
  return SpecialInstruction{rva, static_cast<uint8_t>(insn.size), kind, gpr, control};
}

std::optional<SpecialInstruction> Classify(const cs_insn &insn, uint32_t rva) {
  auto plain = [&](SpecialKind kind) {
    return SpecialInstruction{rva, static_cast<uint8_t>(insn.size), kind, 0, 0};
  };
  switch (insn.id) {
  case X86_INS_RDMSR:
    return plain(SpecialKind::ReadMsr);
  case X86_INS_WRMSR:
    return plain(SpecialKind::WriteMsr);
  case X86_INS_RDTSC:
    return plain(SpecialKind::ReadTsc);
  case X86_INS_PAUSE:
    return plain(SpecialKind::Pause);
  case X86_INS_MOV:
    return MoveSpecial(insn, rva);
  default:
    return std::nullopt;
  }
}

void WriteEdxEax(uc_engine *uc, uint64_t value) {
  SetReg(uc, UC_X86_REG_RAX, value & 0xFFFFFFFF);
  SetReg(uc, UC_X86_REG_RDX, value >> 32);
}

} // namespace

std::vector<SpecialInstruction> FindSpecialInstructions(const uint8_t *code, size_t size,
                                                        uint32_t rva, unsigned bits) {
  const Capstone &cs = CapstoneFor(bits);
  std::vector<SpecialInstruction> found;
  std::unique_ptr<cs_insn, void (*)(cs_insn *)> insn(cs_malloc(cs.handle),
                                                     [](cs_insn *p) { cs_free(p, 1); });
  size_t offset = 0;
  while (offset < size) {
    const uint8_t *at = code + offset;
    size_t left = size - offset;
    uint64_t address = rva + offset;
    if (!cs_disasm_iter(cs.handle, &at, &left, &address, insn.get())) {
      ++offset; // padding or data between functions
      continue;
    }
    if (auto special = Classify(*insn, static_cast<uint32_t>(rva + offset)))
      found.push_back(*special);
    offset += insn->size;
  }
  return found;
}

void ExecuteSpecial(uc_engine *uc, Machine &machine, const SpecialInstruction &ins) {
  switch (ins.kind) {
  case SpecialKind::ReadMsr:
    WriteEdxEax(uc, machine.ReadMsr(static_cast<uint32_t>(Reg(uc, UC_X86_REG_RCX))));
    break;
  case SpecialKind::WriteMsr:
    machine.WriteMsr(static_cast<uint32_t>(Reg(uc, UC_X86_REG_RCX)),
                     (Reg(uc, UC_X86_REG_RDX) << 32) | (Reg(uc, UC_X86_REG_RAX) & 0xFFFFFFFF));
    break;
  case SpecialKind::ReadDr:
    SetReg(uc, kGpr[ins.gpr], machine.ReadDr(ins.control));
    break;
  case SpecialKind::WriteDr:
    machine.WriteDr(ins.control, Reg(uc, kGpr[ins.gpr]));
    break;
  case SpecialKind::ReadCr4:
    SetReg(uc, kGpr[ins.gpr], machine.ReadCr4());
    break;
  case SpecialKind::WriteCr4:
    machine.WriteCr4(Reg(uc, kGpr[ins.gpr]));
    break;
  case SpecialKind::ReadTsc:
    WriteEdxEax(uc, machine.ReadTsc());
    break;
  case SpecialKind::Pause:
    machine.Pause();
    break;
  }
}

std::string DescribeInstruction(const uint8_t *code, size_t size, uint64_t address, unsigned bits) {
  const Capstone &cs = CapstoneFor(bits);
  cs_insn *insn = nullptr;
  if (cs_disasm(cs.handle, code, size, address, 1, &insn) != 1)
    return "";
  std::string text = std::string(insn->mnemonic) + (insn->op_str[0] ? " " : "") + insn->op_str;
  cs_free(insn, 1);
  return text;
}

} // namespace boardsim
