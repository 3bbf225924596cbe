/* Stand-in for MdePkg's PiDxe.h: the GUID-extension HOB (PI volume 3, 5.5). */
#ifndef STAND_IN_PI_DXE_H
#define STAND_IN_PI_DXE_H
#include <Uefi/UefiBaseType.h>

typedef struct {
  UINT16 HobType;
  UINT16 HobLength;
  UINT32 Reserved;
} EFI_HOB_GENERIC_HEADER;

typedef struct {
  EFI_HOB_GENERIC_HEADER Header;
  EFI_GUID Name;
} EFI_HOB_GUID_TYPE;

#endif
