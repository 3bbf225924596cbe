// The PEI foundation keeps the services table pointer in the pointer-sized slot just below
// the IDT base, where every PEIM can find it with SIDT.
#include <Library/PeiServicesTablePointerLib.h>

CONST EFI_PEI_SERVICES **GetPeiServicesTablePointer() {
  struct __attribute__((packed)) {
    UINT16 Limit;
    UINTN Base;
  } Idtr;
  asm volatile("sidt %0" : "=m"(Idtr));
  return *reinterpret_cast<CONST EFI_PEI_SERVICES ***>(Idtr.Base - sizeof(UINTN));
}
