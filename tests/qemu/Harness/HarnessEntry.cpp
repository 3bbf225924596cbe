// The QEMU harness driver: plays the board's platform for BoardInfoDxe under OVMF. It sets the
// Setup variable (unless built for the boot without it), answers the topology PCD tokens, makes
// device memory copies behave as on the board, records the setup item calls, and stays resident
// so that all of it keeps working after its entry. Built to dispatch the driver, it also hands
// the volume holding BoardInfoDxe's FFS file to the DXE core and runs the dispatcher twice: while
// the PCD protocol that the driver's dependency expression names is withheld, and once the
// harness has installed its own.
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <SetupVariable.h>

#include "ConsoleLine.h"
#include "DeviceCopyMem.h"
#include "HarnessRecordProtocol.h"
#include "PcdOverride.h"
#include "SetupItemRecorder.h"
#include "VolumeDispatch.h"

namespace {

inline constexpr bool kSetsSetupVariable = HARNESS_SETS_SETUP_VARIABLE;
inline constexpr bool kDispatchesVolume = HARNESS_DISPATCHES_VOLUME;
// Written next to the harness by the check (ffstool volume).
inline constexpr CHAR16 kVolumeFileName[] = u"BoardInfoDxeQemu.fv";

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

VOID ShowDispatch(CONST CHAR8 *Stage) {
  const EFI_STATUS Status = DispatchDrivers();
  VOID *BoardInfo = nullptr;
  ConsoleLine()
      .Text("harness dispatch ")
      .Text(Stage)
      .Text(" status=")
      .Hex(Status)
      .Text(" board-info=")
      .Hex(gBS->LocateProtocol(&BOARD_INFO_PROTOCOL_GUID, nullptr, &BoardInfo))
      .Emit();
}

VOID DispatchBoardInfoDriver() {
  ConsoleLine()
      .Text("harness process-volume status=")
      .Hex(ProcessVolumeFromDisk(kVolumeFileName))
      .Emit();
  ConsoleLine().Text("harness pcd-withdrawn status=").Hex(WithdrawFirmwarePcd()).Emit();
  ShowDispatch("without-pcd");
  ConsoleLine().Text("harness pcd-installed status=").Hex(InstallHarnessPcd()).Emit();
  ShowDispatch("with-pcd");
  EFI_GUID FileName;
  const BOOLEAN FromVolume = ProtocolImageFromVolume(&BOARD_INFO_PROTOCOL_GUID, &FileName);
  ConsoleLine()
      .Text("harness board-info-image from-volume=")
      .Decimal(FromVolume)
      .Text(" file=")
      .Bytes(reinterpret_cast<CONST UINT8 *>(&FileName), sizeof(FileName))
      .Emit();
}

} // namespace

EFI_STATUS EFIAPI HarnessEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  if (kSetsSetupVariable) {
    ConsoleLine().Text("harness setup-variable set status=").Hex(SetSetupVariable()).Emit();
  } else {
    ConsoleLine().Text("harness setup-variable probe status=").Hex(ProbeSetupVariable()).Emit();
  }
  if (!kDispatchesVolume) {
    ConsoleLine().Text("harness pcd-override status=").Hex(InstallPcdOverride()).Emit();
  }
  ConsoleLine().Text("harness device-copy-mem status=").Hex(InstallDeviceCopyMem()).Emit();
  ConsoleLine().Text("harness setup-item status=").Hex(InstallSetupItemRecorder(&mRecord)).Emit();

  EFI_HANDLE Handle = nullptr;
  const EFI_STATUS Status = gBS->InstallProtocolInterface(&Handle, &HARNESS_RECORD_PROTOCOL_GUID,
                                                          EFI_NATIVE_INTERFACE, &mRecord);
  ConsoleLine().Text("harness record status=").Hex(Status).Emit();
  if (kDispatchesVolume) {
    DispatchBoardInfoDriver();
  }
  return EFI_SUCCESS;
}
