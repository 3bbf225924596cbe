#include "ErrorStop.h"
#include <Library/CpuLib.h>
#include <Library/IoLib.h>

namespace {

constexpr UINTN kMarkerPort = 0xE0;
constexpr UINTN kPostCodePort = 0x80;
constexpr UINT16 kMarker = 0xDEAD;

constexpr UINT32 kProbeLeaf = 0xBACCD00B;
constexpr UINT32 kProbeEbx = 2;

constexpr UINT32 kMsrPStateStatus = 0xC0010063;
constexpr UINT32 kMsrPStateDefinition0 = 0xC0010064;
constexpr UINT64 kTicksPerQuotient = 500000000;

constexpr UINT64 RotateLeft(UINT64 Value, unsigned Bits) {
  return (Value << Bits) | (Value >> (64 - Bits));
}

} // namespace

UINT16 ErrorStopOverrideProbe() {
  return AsmCpuidReturnSi(kProbeLeaf, kProbeEbx, 0);
}

VOID WaitDisplayPeriod() {
  const UINT32 PState = UINT32(AsmReadMsr64(kMsrPStateStatus) & 7);
  const UINT64 Definition = AsmReadMsr64(kMsrPStateDefinition0 + PState);
  const UINT64 Fid = Definition & 0xFF;
  UINT64 Did = (Definition >> 8) & 0x3F;
  if (Did == 0) {
    Did = 1;
  }
  const UINT64 Start = AsmReadTsc();
  const UINT64 End = Start + Fid / Did * kTicksPerQuotient;
  while (AsmReadTsc() <= End) {
    CpuPause();
  }
}

BOOLEAN ErrorStop(UINT32 Code) {
  IoWrite16(kMarkerPort, kMarker);
  IoWrite32(kPostCodePort, Code);
  if (ErrorStopOverrideProbe() != 0) {
    return FALSE;
  }
  // DE AD c3 c2 c1 c0 00 00: rotating by a byte brings the next display byte to the bottom.
  UINT64 Value = (UINT64(kMarker) << 48) | (UINT64(Code) << 16);
  for (;;) {
    for (int Step = 0; Step < 6; Step++) {
      Value = RotateLeft(Value, 8);
      IoWrite32(kPostCodePort, UINT32(Value));
      WaitDisplayPeriod();
    }
    Value = RotateLeft(Value, 16);
  }
}
