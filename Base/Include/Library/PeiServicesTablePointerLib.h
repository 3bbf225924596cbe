// The PEI services table pointer that the PEI foundation publishes, for code that was not
// handed it as an argument.
#pragma once
#include <Pi/PiPei.h>

CONST EFI_PEI_SERVICES **GetPeiServicesTablePointer();
