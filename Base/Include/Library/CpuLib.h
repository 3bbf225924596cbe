// Processor registers and instructions: MSRs, debug registers, CR4, CPUID, TSC, PAUSE, and the
// two register sequences that talk to an external debug agent.
#pragma once
#include <Base.h>

UINT64 AsmReadMsr64(UINT32 Index);
UINT64 AsmWriteMsr64(UINT32 Index, UINT64 Value);
// Reads the MSR, ORs OrData in and writes the result back; returns the value written.
UINT64 AsmMsrOr64(UINT32 Index, UINT64 OrData);

UINTN AsmReadDr2();
UINTN AsmReadDr3();
UINTN AsmReadDr7();
UINTN AsmWriteDr2(UINTN Value);
UINTN AsmWriteDr7(UINTN Value);
UINTN AsmReadCr4();
UINTN AsmWriteCr4(UINTN Value);

// CPUID with EAX = Index (ECX = 0); any output pointer may be null.
UINT32 AsmCpuid(UINT32 Index, UINT32 *Eax, UINT32 *Ebx, UINT32 *Ecx, UINT32 *Edx);
UINT64 AsmReadTsc();
VOID CpuPause();

// A 32-bit OUT to port (Edx & 0xFFFF) with EAX = low 32 bits of Address, EBX = Length and
// EDX = Edx loaded: the hand-over to a debug agent that watches the port with an I/O breakpoint.
VOID AsmIoPortHandOver(UINT32 Edx, CONST VOID *Address, UINT32 Length);

// CPUID with EAX, EBX and SI loaded; returns SI afterwards. A processor leaves SI alone, an agent
// that intercepts the leaf may not. RBX, RCX, RDX, RSI and the flags are preserved.
UINT16 AsmCpuidReturnSi(UINT32 Eax, UINT32 Ebx, UINT16 Si);
