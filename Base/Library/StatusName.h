// The display names of EFI_STATUS values used by the %r conversion.
#pragma once
#include <Base.h>

// The name of Status, or nullptr when it has none.
CONST CHAR8 *StatusName(EFI_STATUS Status);
