// Status code reporting types (PI 1.8 volume 3, section 6.3), shared by PEI and SMM.
#pragma once
#include <Base.h>

using EFI_STATUS_CODE_TYPE = UINT32;
using EFI_STATUS_CODE_VALUE = UINT32;

struct EFI_STATUS_CODE_DATA {
  UINT16 HeaderSize;
  UINT16 Size;
  EFI_GUID Type;
};
static_assert(sizeof(EFI_STATUS_CODE_DATA) == 20);
