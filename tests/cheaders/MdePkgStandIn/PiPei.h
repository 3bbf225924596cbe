/* Stand-in for MdePkg's PiPei.h: the PEI services table is only named through pointers. */
#ifndef STAND_IN_PI_PEI_H
#define STAND_IN_PI_PEI_H
#include <Uefi/UefiBaseType.h>

typedef struct _EFI_PEI_SERVICES EFI_PEI_SERVICES;

#endif
