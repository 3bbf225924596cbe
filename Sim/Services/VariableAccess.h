// GetVariable as both the runtime services and the PEI read-only variable PPI offer it: the
// UEFI size rules, any [[fault]] the caller found for the call, and the variable_get event.
#pragma once
#include "Core/Faults.h"

#include <Base.h>

namespace boardsim {

class Simulator;

Status ReadVariable(Simulator &sim, const Injected &injected, const CHAR16 *name,
                    const EFI_GUID &guid, UINT32 *attributes, UINTN *dataSize, VOID *data);

} // namespace boardsim
