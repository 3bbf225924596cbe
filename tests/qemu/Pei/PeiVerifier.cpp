// The PEI verifier: a consumer of BOARD_INFO_PPI. At the end of PEI (every PEIM that could be
// dispatched has been) it reports whether the PPI is there and whether it lies in a firmware
// volume (the module ran in place) or in memory (a shadowed copy), then calls every entry as
// boardsim's "call BOARD_INFO_PPI.N" steps do: the PEI services, the PPI, two 16-byte buffers of
// 0xAA. "pei done" tells the check that PEI is over.
#include <BoardInfoPpi.h>
#include <Guids.h>
#include <Library/BaseMemoryLib.h>

#include "DebugConsoleLine.h"
#include "HarnessGuids.h"

namespace {

constexpr UINTN kBufferSize = 16;
constexpr UINT8 kBufferFill = 0xAA;
constexpr UINTN kVolumeLengthOffset = 32; // EFI_FIRMWARE_VOLUME_HEADER.FvLength

// Entries in slot order with the type of their result.
enum class Result { Boolean, Status, Value };
constexpr Result kEntryResults[] = {Result::Boolean, Result::Status, Result::Status, Result::Status,
                                    Result::Boolean, Result::Status, Result::Status, Result::Value,
                                    Result::Status,  Result::Status};

BOOLEAN InAnyVolume(CONST EFI_PEI_SERVICES **PeiServices, CONST VOID *Address) {
  EFI_PEI_FV_HANDLE Volume = nullptr;
  for (UINTN Instance = 0;
       !EFI_ERROR((*PeiServices)->FfsFindNextVolume(PeiServices, Instance, &Volume)); ++Instance) {
    const UINTN Base = reinterpret_cast<UINTN>(Volume);
    const UINT64 Length = *reinterpret_cast<UINT64 *>(Base + kVolumeLengthOffset);
    const UINTN At = reinterpret_cast<UINTN>(Address);
    if (At >= Base && At - Base < Length) {
      return TRUE;
    }
  }
  return FALSE;
}

VOID CallEntry(CONST EFI_PEI_SERVICES **PeiServices, BOARD_INFO_PPI *Ppi, UINTN Slot) {
  VOID *Entry = reinterpret_cast<VOID **>(Ppi)[Slot];
  DebugConsoleLine Line;
  Line.Text("call BOARD_INFO_PPI.").Decimal(Slot);
  if (Entry == nullptr) {
    Line.Text(" null").Emit();
    return;
  }
  UINT8 Buffer1[kBufferSize];
  UINT8 Buffer2[kBufferSize];
  SetMem(Buffer1, sizeof(Buffer1), kBufferFill);
  SetMem(Buffer2, sizeof(Buffer2), kBufferFill);
  UINT64 Value = 0;
  switch (kEntryResults[Slot]) {
  case Result::Boolean:
    Value = reinterpret_cast<BOARD_INFO_PPI_BOOLEAN_QUERY>(Entry)(PeiServices, Ppi, Buffer1,
                                                                  Buffer2) != FALSE;
    break;
  case Result::Status:
    Value = WideStatus(
        reinterpret_cast<BOARD_INFO_PPI_STATUS_QUERY>(Entry)(PeiServices, Ppi, Buffer1, Buffer2));
    break;
  case Result::Value:
    Value = reinterpret_cast<BOARD_INFO_PPI_VALUE_QUERY>(Entry)(PeiServices, Ppi, Buffer1, Buffer2);
    break;
  }
  Line.Text(" value=")
      .Hex(Value)
      .Text(" buffer1=")
      .Bytes(Buffer1, kBufferSize)
      .Text(" buffer2=")
      .Bytes(Buffer2, kBufferSize)
      .Emit();
}

EFI_STATUS EFIAPI AtEndOfPei(EFI_PEI_SERVICES **Services, EFI_PEI_NOTIFY_DESCRIPTOR *, VOID *) {
  CONST EFI_PEI_SERVICES **PeiServices = const_cast<CONST EFI_PEI_SERVICES **>(Services);
  VOID *Interface = nullptr;
  const EFI_STATUS Status =
      (*PeiServices)->LocatePpi(PeiServices, &BOARD_INFO_PPI_GUID, 0, nullptr, &Interface);
  DebugConsoleLine Line;
  Line.Text("board-info-ppi status=").Hex(WideStatus(Status));
  if (EFI_ERROR(Status)) {
    Line.Emit();
  } else {
    Line.Text(" in-volume=").Hex(InAnyVolume(PeiServices, Interface)).Emit();
    for (UINTN Slot = 0; Slot < sizeof(kEntryResults) / sizeof(kEntryResults[0]); ++Slot) {
      CallEntry(PeiServices, static_cast<BOARD_INFO_PPI *>(Interface), Slot);
    }
  }
  DebugConsoleLine().Text("pei done").Emit();
  return EFI_SUCCESS;
}

CONST EFI_PEI_NOTIFY_DESCRIPTOR mEndOfPeiNotify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK |
                                                       EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                                   &EFI_END_OF_PEI_PPI_GUID, AtEndOfPei};

} // namespace

EFI_STATUS EFIAPI PeiVerifierEntryPoint(EFI_PEI_FILE_HANDLE, CONST EFI_PEI_SERVICES **PeiServices) {
  return (*PeiServices)->NotifyPpi(PeiServices, &mEndOfPeiNotify);
}
