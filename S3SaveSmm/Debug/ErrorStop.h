// Fatal error stop: shows a 32-bit code on the POST-code ports until reset, unless an external
// agent answers the release probe.
#pragma once
#include <Base.h>

// Returns FALSE only when ErrorStopOverrideProbe answers non-zero; otherwise never returns.
BOOLEAN ErrorStop(UINT32 Code);
// CPUID leaf 0xBACCD00B with EBX = 2 and SI = 0; returns SI afterwards (0 on real hardware).
UINT16 ErrorStopOverrideProbe();
// Busy-waits one display period: the current P-state's FID / DID quotient times 500,000,000 TSC
// ticks.
VOID WaitDisplayPeriod();
