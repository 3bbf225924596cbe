#include "DebugConsoleLine.h"

#include <Library/IoLib.h>

namespace {

constexpr UINTN kDebugConsolePort = 0x402;

} // namespace

VOID DebugConsoleLine::Emit() {
  for (UINTN Index = 0; Index < Length; ++Index) {
    IoWrite8(kDebugConsolePort, static_cast<UINT8>(Buffer[Index]));
  }
  IoWrite8(kDebugConsolePort, '\n');
}

UINT64 WideStatus(EFI_STATUS Status) {
  constexpr EFI_STATUS kErrorBit = EFI_STATUS(1) << (sizeof(EFI_STATUS) * 8 - 1);
  return (Status & kErrorBit) != 0 ? (UINT64(Status & ~kErrorBit) | (UINT64(1) << 63))
                                   : UINT64(Status);
}
