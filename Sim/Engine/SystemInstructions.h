// Where image code executes an instruction that must reach the machine model instead of the
// emulated processor, and how each one is carried out.
#pragma once
#include "Engine/GuestModule.h"

#include <unicorn/unicorn.h>

#include <cstddef>
#include <vector>

namespace boardsim {

class Machine;

// A linear sweep over one code section that starts at `rva`, decoded as `bits`-bit code.
std::vector<SpecialInstruction> FindSpecialInstructions(const uint8_t *code, size_t size,
                                                        uint32_t rva, unsigned bits);
// Performs the instruction on the machine and the emulator's registers (RIP not included).
void ExecuteSpecial(uc_engine *uc, Machine &machine, const SpecialInstruction &instruction);
// Capstone's text of the instruction at `address` ("rdmsr", "mov rax, qword ptr [rcx]"), or "".
std::string DescribeInstruction(const uint8_t *code, size_t size, uint64_t address, unsigned bits);

} // namespace boardsim
