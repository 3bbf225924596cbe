// Register access of a Unicorn processor, as the engine's hooks and calls use it.
#pragma once
#include <unicorn/unicorn.h>

#include <cstdint>

namespace boardsim {

inline uint64_t Reg(uc_engine *uc, int reg) {
  uint64_t value = 0;
  uc_reg_read(uc, reg, &value);
  return value;
}

inline void SetReg(uc_engine *uc, int reg, uint64_t value) {
  uc_reg_write(uc, reg, &value);
}

} // namespace boardsim
