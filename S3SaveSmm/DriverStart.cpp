#include "DriverStart.h"
#include "DriverMain.h"
#include "HeapTransfer.h"
#include "S3SaveLib.h"
#include "SmmServices.h"
#include "Debug/DebugPrint.h"
#include <Library/SetJump.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>

namespace {

// Read again after LongJump returns to the saved context. Volatile, because the optimiser
// otherwise carries the value it stored before SetJump over the second return.
volatile EFI_STATUS mModuleStatus;
BASE_LIBRARY_JUMP_BUFFER mReturnContext;

} // namespace

EFI_STATUS RunLibrarySetup(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;
  LocateSmst();
  LoadSmramRanges();
  FindHobList();
  // The breakpoint debug channel finds its trace buffer in the heap list.
  SetUpHeapList();
  DebugChannelsInitialize();
  return S3SaveLibSetup(ImageHandle, SystemTable);
}

VOID RunLibraryTeardown(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  // Before the SMRAM range table goes: the record is freed into the pool its address names.
  S3SaveLibTeardown();
  ReleaseSmramRanges();
  // The SMM core frees this image, and with it the heap-list interface.
  RemoveHeapList();
}

EFI_STATUS EFIAPI DriverStart(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  RunLibrarySetup(ImageHandle, SystemTable);
  mModuleStatus = EFI_LOAD_ERROR;
  if (SetJump(&mReturnContext) == 0) {
    mModuleStatus = KeepModuleStatus(mModuleStatus, DriverMain(ImageHandle, SystemTable));
    LongJump(&mReturnContext, 1);
  }
  if (EFI_ERROR(mModuleStatus)) {
    RunLibraryTeardown(ImageHandle, SystemTable);
  }
  return mModuleStatus;
}
