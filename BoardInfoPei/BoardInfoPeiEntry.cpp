#include "BoardInfoPpiTable.h"
#include "PcdWrite.h"
#include "PpiArrivalCallbacks.h"
#include "PpiLookup.h"
#include <Guids.h>
#include <PcdTokens.h>
#include <SetupVariable.h>

namespace {

constexpr UINT64 BOARD_SETUP_MASK = 0x000000FF0000FF00;
constexpr UINT8 BOARD_FIXED_BYTE = 0x12;

constexpr EFI_PEI_NOTIFY_DESCRIPTOR mSmbusNotifyList[] = {
    {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
     &EFI_PEI_SMBUS2_PPI_GUID, OnSmbusArrival}};

constexpr EFI_PEI_NOTIFY_DESCRIPTOR mTableApplyNotifyList[] = {
    {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
     &BOARD_TABLE_APPLY_PPI_GUID, OnTableApplyArrival}};

// The descriptor lives in pool memory because the foundation keeps the pointer for the rest of
// PEI; the PPI table it names stays in flash.
VOID InstallBoardInfoPpi(CONST EFI_PEI_SERVICES **PeiServices) {
  VOID *Buffer = nullptr;
  if (EFI_ERROR(
          (*PeiServices)->AllocatePool(PeiServices, sizeof(EFI_PEI_PPI_DESCRIPTOR), &Buffer))) {
    return;
  }
  auto *Descriptor = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(Buffer);
  Descriptor->Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  Descriptor->Guid = &BOARD_INFO_PPI_GUID;
  Descriptor->Ppi = const_cast<BOARD_INFO_PPI *>(&mBoardInfoPpi);
  (*PeiServices)->InstallPpi(PeiServices, Descriptor);
}

// A missing variable service, a missing Setup, or one too short to reach the byte all read as
// "not selected".
BOOLEAN SetupSelectsBoardMask(CONST EFI_PEI_SERVICES **PeiServices) {
  EFI_PEI_READ_ONLY_VARIABLE2_PPI *Variables;
  if (EFI_ERROR(LocateFirstPpi(PeiServices, EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID, &Variables))) {
    return FALSE;
  }
  UINT8 Setup[SETUP_VARIABLE_SIZE];
  UINTN DataSize = sizeof(Setup);
  if (EFI_ERROR(Variables->GetVariable(Variables, SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID,
                                       nullptr, &DataSize, Setup))) {
    return FALSE;
  }
  return DataSize > SETUP_BOARD_MASK_OFFSET && Setup[SETUP_BOARD_MASK_OFFSET] != 0;
}

} // namespace

// Statuses of the service calls are not acted on: each step stands on its own.
EFI_STATUS EFIAPI BoardInfoPeiEntryPoint(EFI_PEI_FILE_HANDLE,
                                         CONST EFI_PEI_SERVICES **PeiServices) {
  InstallBoardInfoPpi(PeiServices);
  // Either callback may run inside these calls when its PPI is already installed.
  (*PeiServices)->NotifyPpi(PeiServices, mSmbusNotifyList);
  (*PeiServices)->NotifyPpi(PeiServices, mTableApplyNotifyList);
  if (SetupSelectsBoardMask(PeiServices)) {
    WritePcd64(PcdBoardSetupMask, BOARD_SETUP_MASK);
  }
  WritePcd8(PcdBoardFixedByte, BOARD_FIXED_BYTE);
  return EFI_SUCCESS;
}
