// The SMM harness: a DXE driver in OVMF's DXE volume that has the firmware's SMM core start
// S3SaveSmm, as the board's platform would, from a volume it hands over before ready-to-lock. The
// volume is a RAW section of a file of the DXE volume (S3SAVE_VOLUME_FILE_GUID). Like the
// BoardInfoDxe check it withholds the firmware's PCD_PROTOCOL, so the first SMM dispatch round
// must start nothing; then it installs its own PCD_PROTOCOL, which answers the S3 record's
// tokens, and has the SMM core dispatch again. The harness itself runs inside a round of the DXE
// dispatcher (gDS->Dispatch would refuse to nest), so it starts each SMM round as the DXE core
// does after each of its rounds: by signalling the DXE dispatch event group, which the SMM IPL
// answers with an SMI that runs the SMM core's dispatcher. S3SaveSmm then stops the machine in
// its error stop (QEMU has no PCI Express window in MSR 0xC0010058), so the second round does not
// return; the check reads the rest from the POST-code ports.
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Pi/PiSmm.h>

#include "DebugConsoleLine.h"
#include "FirmwareVolumeServices.h"
#include "HeapListProbe.h"
#include "PcdOverride.h"
#include "VolumeDispatch.h"

namespace {

// 7081E22F-CAC6-4053-9468-675782CF88E5: signalled by the DXE core after each dispatcher round.
constexpr EFI_GUID EFI_EVENT_DXE_DISPATCH_GUID = {
    0x7081E22F, 0xCAC6, 0x4053, {0x94, 0x68, 0x67, 0x57, 0x82, 0xCF, 0x88, 0xE5}};

VOID EFIAPI NoteDispatchRound(EFI_EVENT, VOID *) {}

EFI_STATUS SignalDispatchRound() {
  EFI_EVENT Event = nullptr;
  EFI_STATUS Status = gBS->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, NoteDispatchRound,
                                         nullptr, &EFI_EVENT_DXE_DISPATCH_GUID, &Event);
  if (!EFI_ERROR(Status)) {
    Status = gBS->SignalEvent(Event);
    gBS->CloseEvent(Event);
  }
  return Status;
}

// 3C1F9A20-7B5D-4E86-A4C1-5D2E8F0B6A71: the DXE-volume file whose RAW section is the volume
// holding S3SaveSmm.ffs.
constexpr EFI_GUID S3SAVE_VOLUME_FILE_GUID = {
    0x3C1F9A20, 0x7B5D, 0x4E86, {0xA4, 0xC1, 0x5D, 0x2E, 0x8F, 0x0B, 0x6A, 0x71}};

// The SMRAM map, as S3SaveSmm will see it through the same protocol.
VOID PrintSmramMap() {
  EFI_SMM_ACCESS2_PROTOCOL *Access = nullptr;
  EFI_SMRAM_DESCRIPTOR Map[8];
  UINTN Size = sizeof(Map);
  EFI_STATUS Status = gBS->LocateProtocol(&EFI_SMM_ACCESS2_PROTOCOL_GUID, nullptr,
                                          reinterpret_cast<VOID **>(&Access));
  if (!EFI_ERROR(Status)) {
    Status = Access->GetCapabilities(Access, &Size, Map);
  }
  DebugConsoleLine().Text("harness smram-map status=").Hex(WideStatus(Status)).Emit();
  for (UINTN Index = 0; !EFI_ERROR(Status) && Index < Size / sizeof(Map[0]); ++Index) {
    DebugConsoleLine()
        .Text("smram-descriptor start=")
        .Hex(Map[Index].CpuStart)
        .Text(" size=")
        .Hex(Map[Index].PhysicalSize)
        .Text(" state=")
        .Hex(Map[Index].RegionState)
        .Emit();
  }
}

// Reads the volume from the firmware volume that holds it and hands it to the DXE core.
EFI_STATUS ProcessS3SaveVolume() {
  UINTN Count = 0;
  EFI_HANDLE *Handles = nullptr;
  EFI_STATUS Status = gBS->LocateHandleBuffer(ByProtocol, &EFI_FIRMWARE_VOLUME2_PROTOCOL_GUID,
                                              nullptr, &Count, &Handles);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = EFI_NOT_FOUND;
  for (UINTN Index = 0; Index < Count && Status == EFI_NOT_FOUND; ++Index) {
    EFI_FIRMWARE_VOLUME2_PROTOCOL *Volume = nullptr;
    VOID *Data = nullptr;
    UINTN Size = 0;
    UINT32 Authentication = 0;
    if (EFI_ERROR(gBS->HandleProtocol(Handles[Index], &EFI_FIRMWARE_VOLUME2_PROTOCOL_GUID,
                                      reinterpret_cast<VOID **>(&Volume))) ||
        EFI_ERROR(Volume->ReadSection(Volume, &S3SAVE_VOLUME_FILE_GUID, EFI_SECTION_RAW, 0, &Data,
                                      &Size, &Authentication))) {
      continue;
    }
    Status = ProcessVolume(Data, Size);
    gBS->FreePool(Data);
  }
  gBS->FreePool(Handles);
  return Status;
}

VOID ShowDispatch(CONST CHAR8 *Stage) {
  DebugConsoleLine().Text("harness dispatch ").Text(Stage).Text(" starts").Emit();
  const EFI_STATUS Status = SignalDispatchRound();
  VOID *HeapList = nullptr;
  DebugConsoleLine()
      .Text("harness dispatch ")
      .Text(Stage)
      .Text(" status=")
      .Hex(WideStatus(Status))
      .Text(" heap-list=")
      .Hex(WideStatus(gBS->LocateProtocol(&SMM_HEAP_LIST_PROTOCOL_GUID, nullptr, &HeapList)))
      .Emit();
}

} // namespace

EFI_STATUS EFIAPI SmmHarnessEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  PrintSmramMap();
  DebugConsoleLine().Text("harness heap-probe status=").Hex(WideStatus(ArmHeapListProbe())).Emit();
  DebugConsoleLine()
      .Text("harness process-volume status=")
      .Hex(WideStatus(ProcessS3SaveVolume()))
      .Emit();
  DebugConsoleLine()
      .Text("harness pcd-withdrawn status=")
      .Hex(WideStatus(WithdrawFirmwarePcd()))
      .Emit();
  ShowDispatch("without-pcd");
  DebugConsoleLine()
      .Text("harness pcd-installed status=")
      .Hex(WideStatus(InstallHarnessPcd()))
      .Emit();
  ShowDispatch("with-pcd");
  return EFI_SUCCESS;
}
