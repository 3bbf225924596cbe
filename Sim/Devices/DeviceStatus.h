// The EFI_STATUS values the device models answer with (UEFI 2.10, appendix D).
#pragma once
#include "Core/Status.h"

namespace boardsim {

inline constexpr Status kDeviceSuccess = 0;
inline constexpr Status kDeviceError = kErrorBit | 7; // EFI_DEVICE_ERROR

} // namespace boardsim
