// Processor registers and instructions of a host image, each one bridge call (AsmMsrOr64 is a
// read and a write, as on the processor).
#include <Library/CpuLib.h>
#include "HostBackend.h"

namespace {

const HOST_BRIDGE &Bridge() {
  return *gHostBackend.Bridge;
}
void *Context() {
  return gHostBackend.Context;
}

} // namespace

UINT64 AsmReadMsr64(UINT32 Index) {
  return Bridge().ReadMsr(Context(), Index);
}

UINT64 AsmWriteMsr64(UINT32 Index, UINT64 Value) {
  Bridge().WriteMsr(Context(), Index, Value);
  return Value;
}

UINT64 AsmMsrOr64(UINT32 Index, UINT64 OrData) {
  return AsmWriteMsr64(Index, AsmReadMsr64(Index) | OrData);
}

UINTN AsmReadDr2() {
  return UINTN(Bridge().ReadDr(Context(), 2));
}
UINTN AsmReadDr3() {
  return UINTN(Bridge().ReadDr(Context(), 3));
}
UINTN AsmReadDr7() {
  return UINTN(Bridge().ReadDr(Context(), 7));
}

UINTN AsmWriteDr2(UINTN Value) {
  Bridge().WriteDr(Context(), 2, Value);
  return Value;
}

UINTN AsmWriteDr7(UINTN Value) {
  Bridge().WriteDr(Context(), 7, Value);
  return Value;
}

UINTN AsmReadCr4() {
  return UINTN(Bridge().ReadCr4(Context()));
}

UINTN AsmWriteCr4(UINTN Value) {
  Bridge().WriteCr4(Context(), Value);
  return Value;
}

UINT32 AsmCpuid(UINT32 Index, UINT32 *Eax, UINT32 *Ebx, UINT32 *Ecx, UINT32 *Edx) {
  uint32_t Out[4] = {};
  Bridge().Cpuid(Context(), Index, Out);
  UINT32 *const Registers[4] = {Eax, Ebx, Ecx, Edx};
  for (UINTN Slot = 0; Slot < 4; Slot++) {
    if (Registers[Slot] != nullptr) {
      *Registers[Slot] = Out[Slot];
    }
  }
  return Index;
}

UINT64 AsmReadTsc() {
  return Bridge().ReadTsc(Context());
}

VOID CpuPause() {
  Bridge().Pause(Context());
}

VOID AsmIoPortHandOver(UINT32 Edx, CONST VOID *Address, UINT32 Length) {
  Bridge().PortHandOver(Context(), UINT32(reinterpret_cast<UINTN>(Address)), Length, Edx, Address);
}

UINT16 AsmCpuidReturnSi(UINT32 Eax, UINT32 Ebx, UINT16 Si) {
  return Bridge().CpuidReturnSi(Context(), Eax, Ebx, Si);
}
