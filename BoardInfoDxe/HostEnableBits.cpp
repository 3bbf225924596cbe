#include "HostEnableBits.h"
#include "PciTopology.h"

namespace {

// Instances 0 and 4 come last and take register A alone.
constexpr UINT8 INSTANCE_ORDER[] = {1, 2, 3, 5, 6, 7, 0, 4};
constexpr UINTN INSTANCES_WITH_BOTH = 6;

} // namespace

VOID ProgramHostEnableBits() {
  for (UINTN Position = 0; Position < sizeof(INSTANCE_ORDER); Position++) {
    HostWindowOr(INSTANCE_ORDER[Position], HOST_ENABLE_REGISTER_A, HOST_ENABLE_MASK_A);
    if (Position < INSTANCES_WITH_BOTH) {
      HostWindowOr(INSTANCE_ORDER[Position], HOST_ENABLE_REGISTER_B, HOST_ENABLE_MASK_B);
    }
  }
}
