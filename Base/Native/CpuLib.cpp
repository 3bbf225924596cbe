// Processor registers and instructions of a firmware image: MSRs, debug registers 2, 3 and 7,
// CR4, CPUID, the time-stamp counter and PAUSE.
#include <Library/CpuLib.h>

UINT64 AsmReadMsr64(UINT32 Index) {
  UINT32 Low, High;
  asm volatile("rdmsr" : "=a"(Low), "=d"(High) : "c"(Index));
  return (UINT64(High) << 32) | Low;
}

UINT64 AsmWriteMsr64(UINT32 Index, UINT64 Value) {
  asm volatile("wrmsr" : : "c"(Index), "a"(UINT32(Value)), "d"(UINT32(Value >> 32)) : "memory");
  return Value;
}

UINT64 AsmMsrOr64(UINT32 Index, UINT64 OrData) {
  return AsmWriteMsr64(Index, AsmReadMsr64(Index) | OrData);
}

UINTN AsmReadDr2() {
  UINTN Value;
  asm volatile("mov %%dr2, %0" : "=r"(Value));
  return Value;
}

UINTN AsmReadDr3() {
  UINTN Value;
  asm volatile("mov %%dr3, %0" : "=r"(Value));
  return Value;
}

UINTN AsmReadDr7() {
  UINTN Value;
  asm volatile("mov %%dr7, %0" : "=r"(Value));
  return Value;
}

UINTN AsmWriteDr2(UINTN Value) {
  asm volatile("mov %0, %%dr2" : : "r"(Value));
  return Value;
}

UINTN AsmWriteDr7(UINTN Value) {
  asm volatile("mov %0, %%dr7" : : "r"(Value));
  return Value;
}

UINTN AsmReadCr4() {
  UINTN Value;
  asm volatile("mov %%cr4, %0" : "=r"(Value));
  return Value;
}

UINTN AsmWriteCr4(UINTN Value) {
  asm volatile("mov %0, %%cr4" : : "r"(Value) : "memory");
  return Value;
}

UINT32 AsmCpuid(UINT32 Index, UINT32 *Eax, UINT32 *Ebx, UINT32 *Ecx, UINT32 *Edx) {
  UINT32 Registers[4];
  asm volatile("cpuid"
               : "=a"(Registers[0]), "=b"(Registers[1]), "=c"(Registers[2]), "=d"(Registers[3])
               : "a"(Index), "c"(0));
  UINT32 *const Outputs[4] = {Eax, Ebx, Ecx, Edx};
  for (UINTN Slot = 0; Slot < 4; Slot++) {
    if (Outputs[Slot] != nullptr) {
      *Outputs[Slot] = Registers[Slot];
    }
  }
  return Index;
}

UINT64 AsmReadTsc() {
  UINT32 Low, High;
  asm volatile("rdtsc" : "=a"(Low), "=d"(High));
  return (UINT64(High) << 32) | Low;
}

VOID CpuPause() {
  asm volatile("pause");
}
