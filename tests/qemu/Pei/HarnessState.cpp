#include "HarnessState.h"

#include <Library/BaseMemoryLib.h>
#include <Library/PeiServicesTablePointerLib.h>

#include "HarnessGuids.h"

namespace {

struct STATE_HOB {
  EFI_HOB_GUID_TYPE Header;
  PEI_HARNESS_STATE State;
};

} // namespace

PEI_HARNESS_STATE *CreateHarnessState(CONST EFI_PEI_SERVICES **PeiServices) {
  VOID *Hob = nullptr;
  if (EFI_ERROR(
          (*PeiServices)
              ->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, sizeof(STATE_HOB), &Hob))) {
    return nullptr;
  }
  STATE_HOB *Created = static_cast<STATE_HOB *>(Hob);
  Created->Header.Name = PEI_HARNESS_STATE_GUID;
  PEI_HARNESS_STATE &State = Created->State;
  ZeroMem(&State, sizeof(State));
  for (UINTN Device = 0; Device < PEI_HARNESS_SMBUS_DEVICES; ++Device) {
    for (UINT32 Index = 0; Index < QEMU_BOARD_SMBUS[Device].RegisterCount; ++Index) {
      State.Registers[Device][QEMU_BOARD_SMBUS[Device].Commands[Index]] =
          QEMU_BOARD_SMBUS[Device].Values[Index];
    }
  }
  for (UINTN Token = 0; Token < PEI_HARNESS_PCD_TOKENS; ++Token) {
    State.PcdValues[Token] = QEMU_BOARD_PCD[Token].Value;
  }
  return &State;
}

PEI_HARNESS_STATE *HarnessState() {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *List = nullptr;
  (*PeiServices)->GetHobList(PeiServices, &List);
  for (auto *Hob = static_cast<UINT8 *>(List);
       reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Hob)->HobType != EFI_HOB_TYPE_END_OF_HOB_LIST;
       Hob += reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Hob)->HobLength) {
    auto *Guided = reinterpret_cast<STATE_HOB *>(Hob);
    if (Guided->Header.Header.HobType == EFI_HOB_TYPE_GUID_EXTENSION &&
        CompareGuid(&Guided->Header.Name, &PEI_HARNESS_STATE_GUID)) {
      return &Guided->State;
    }
  }
  return nullptr;
}
