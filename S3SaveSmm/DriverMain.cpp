#include "DriverMain.h"
#include "SmmServices.h"
#include <Guids.h>
#include <Pi/PiSmm.h>
#include <Library/BaseMemoryLib.h>

namespace {

// Status-code reporting context of this image. Only the set-up below writes it.
struct STATUS_CODE_CONTEXT {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_BOOT_SERVICES *BootServices;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  EFI_SMM_BASE2_PROTOCOL *SmmBase;
  EFI_SMM_SYSTEM_TABLE2 *Smst;
  BOOLEAN InSmm;
  VOID *StatusCode;
  VOID *StatusCodeCompanion;
};

STATUS_CODE_CONTEXT mStatusCode;

VOID *FindSmmConfigurationTable(const EFI_SMM_SYSTEM_TABLE2 *Smst, const EFI_GUID &Guid) {
  for (UINTN Index = 0; Index < Smst->NumberOfTableEntries; Index++) {
    if (CompareGuid(&Smst->SmmConfigurationTable[Index].VendorGuid, &Guid)) {
      return Smst->SmmConfigurationTable[Index].VendorTable;
    }
  }
  return nullptr;
}

VOID LocateSmmProtocolOnce(const EFI_GUID &Guid, VOID **Cache) {
  if (*Cache == nullptr && EFI_ERROR(mStatusCode.Smst->SmmLocateProtocol(&Guid, nullptr, Cache))) {
    *Cache = nullptr;
  }
}

} // namespace

EFI_STATUS EFIAPI NullSmiHandler(EFI_HANDLE, CONST VOID *, VOID *, UINTN *) {
  return EFI_SUCCESS;
}

EFI_STATUS RegisterSleepAndPowerButtonHandlers() {
  EFI_HANDLE DispatchHandle = nullptr;
  EFI_SMM_SX_DISPATCH2_PROTOCOL *SxDispatch = nullptr;
  // Without an SMST from set-up the dispatch protocols cannot be reached: as if absent.
  if (gSmst == nullptr ||
      EFI_ERROR(gSmst->SmmLocateProtocol(&EFI_SMM_SX_DISPATCH2_PROTOCOL_GUID, nullptr,
                                         reinterpret_cast<VOID **>(&SxDispatch)))) {
    return EFI_SUCCESS;
  }
  EFI_SMM_SX_REGISTER_CONTEXT SxContext = {SxS5, SxEntry};
  EFI_STATUS Status = SxDispatch->Register(SxDispatch, NullSmiHandler, &SxContext, &DispatchHandle);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL *PowerButtonDispatch = nullptr;
  if (EFI_ERROR(gSmst->SmmLocateProtocol(&EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL_GUID, nullptr,
                                         reinterpret_cast<VOID **>(&PowerButtonDispatch)))) {
    return EFI_SUCCESS;
  }
  EFI_SMM_POWER_BUTTON_REGISTER_CONTEXT PowerButtonContext = {EfiPowerButtonEntry};
  PowerButtonDispatch->Register(PowerButtonDispatch, NullSmiHandler, &PowerButtonContext,
                                &DispatchHandle);
  return EFI_SUCCESS;
}

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  if (mStatusCode.SystemTable == nullptr) {
    mStatusCode.ImageHandle = ImageHandle;
    mStatusCode.SystemTable = SystemTable;
    mStatusCode.BootServices = SystemTable->BootServices;
    mStatusCode.RuntimeServices = SystemTable->RuntimeServices;
  }
  EFI_STATUS Status = mStatusCode.BootServices->LocateProtocol(
      &EFI_SMM_BASE2_PROTOCOL_GUID, nullptr, reinterpret_cast<VOID **>(&mStatusCode.SmmBase));
  if (EFI_ERROR(Status)) {
    return Status;
  }
  BOOLEAN InSmram = FALSE;
  mStatusCode.SmmBase->InSmm(mStatusCode.SmmBase, &InSmram);
  if (!InSmram) {
    return EFI_SUCCESS;
  }
  Status = mStatusCode.SmmBase->GetSmstLocation(mStatusCode.SmmBase, &mStatusCode.Smst);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (VOID *Runtime =
          FindSmmConfigurationTable(mStatusCode.Smst, SMM_RUNTIME_SERVICES_TABLE_GUID)) {
    mStatusCode.RuntimeServices = static_cast<EFI_RUNTIME_SERVICES *>(Runtime);
  }
  mStatusCode.InSmm = TRUE;
  LocateSmmProtocolOnce(EFI_SMM_STATUS_CODE_PROTOCOL_GUID, &mStatusCode.StatusCode);
  LocateSmmProtocolOnce(SMM_STATUS_CODE_COMPANION_PROTOCOL_GUID, &mStatusCode.StatusCodeCompanion);
  return RegisterSleepAndPowerButtonHandlers();
}
