// The QEMU harness driver: plays the board's platform for BoardInfoDxe under OVMF. It sets the
// Setup variable (unless built for the boot without it), answers the topology PCD tokens, makes
// device memory copies behave as on the board, records the setup item calls, and stays resident
// so that all of it keeps working after its entry.
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <SetupVariable.h>

#include "ConsoleLine.h"
#include "DeviceCopyMem.h"
#include "HarnessRecordProtocol.h"
#include "PcdOverride.h"
#include "SetupItemRecorder.h"

namespace {

inline constexpr bool kSetsSetupVariable = HARNESS_SETS_SETUP_VARIABLE;

HARNESS_RECORD_PROTOCOL mRecord;
UINT8 mSetupData[SETUP_VARIABLE_SIZE];

EFI_STATUS SetSetupVariable() {
  // The driver keeps the bytes without reading them; any content of the right size will do.
  for (UINTN Index = 0; Index < SETUP_VARIABLE_SIZE; ++Index) {
    mSetupData[Index] = static_cast<UINT8>(Index);
  }
  return gRT->SetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID,
                          EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS |
                              EFI_VARIABLE_RUNTIME_ACCESS,
                          SETUP_VARIABLE_SIZE, mSetupData);
}

// Not-found is what the boot without the variable expects to see.
EFI_STATUS ProbeSetupVariable() {
  UINTN DataSize = 0;
  return gRT->GetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, nullptr, &DataSize, nullptr);
}

} // namespace

EFI_STATUS EFIAPI HarnessEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  if (kSetsSetupVariable) {
    ConsoleLine().Text("harness setup-variable set status=").Hex(SetSetupVariable()).Emit();
  } else {
    ConsoleLine().Text("harness setup-variable probe status=").Hex(ProbeSetupVariable()).Emit();
  }
  ConsoleLine().Text("harness pcd-override status=").Hex(InstallPcdOverride()).Emit();
  ConsoleLine().Text("harness device-copy-mem status=").Hex(InstallDeviceCopyMem()).Emit();
  ConsoleLine().Text("harness setup-item status=").Hex(InstallSetupItemRecorder(&mRecord)).Emit();

  EFI_HANDLE Handle = nullptr;
  const EFI_STATUS Status = gBS->InstallProtocolInterface(&Handle, &HARNESS_RECORD_PROTOCOL_GUID,
                                                          EFI_NATIVE_INTERFACE, &mRecord);
  ConsoleLine().Text("harness record status=").Hex(Status).Emit();
  return EFI_SUCCESS;
}
