// The boot processor's registers that the modules reach: MSRs (unlisted ones read 0), debug
// registers, CR4, CPUID, and a time-stamp counter that starts at 0 and moves only with PAUSE.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <array>
#include <cstdint>
#include <map>

namespace boardsim {

class Simulator;

inline constexpr uint32_t kErrorStopProbeLeaf = 0xBACCD00B;
inline constexpr uint32_t kErrorStopProbeEbx = 2;

class Cpu {
public:
  Cpu(Simulator &sim, const CpuConfig &config);

  uint64_t ReadMsr(uint32_t index);
  void WriteMsr(uint32_t index, uint64_t value);
  uint64_t ReadDr(unsigned reg);
  void WriteDr(unsigned reg, uint64_t value);
  uint64_t ReadCr4();
  void WriteCr4(uint64_t value);
  void Cpuid(uint32_t leaf, uint32_t out[4]);
  // CPUID with EAX/EBX loaded and SI holding `si`: an agent that intercepts the error-stop probe
  // answers in SI; otherwise SI keeps its value, as the instruction does not write it.
  uint16_t CpuidReturnSi(uint32_t eax, uint32_t ebx, uint16_t si);
  uint64_t ReadTsc();
  void Pause();

  // Whether the I/O breakpoint on port 0x99CC is armed, as the debug agent sees the processor
  // (no access is made).
  bool BreakpointArmed() const;

  void FillFinal(Json &final) const;

private:
  struct Msr {
    uint64_t value = 0;
    bool touched = false;
  };
  Msr &MsrEntry(uint32_t index);

  Simulator &sim_;
  std::map<uint32_t, Msr> msrs_;
  std::array<uint64_t, 8> dr_{};
  uint64_t cr4_;
  uint16_t probeAnswer_;
  uint64_t tscPerPause_;
  uint64_t tsc_ = 0;
};

} // namespace boardsim
