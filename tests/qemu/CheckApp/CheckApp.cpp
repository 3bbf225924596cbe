// The QEMU check application: uses BoardInfoDxe as its consumers and the platform would, and
// prints one "qemu-check: " line per result for run-qemu-check.sh to compare with what QEMU was
// given. Results are printed before ("before") and after ("after") the ready-to-boot signal.
#include <BoardInfoProtocol.h>
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>

#include "ConsoleLine.h"
#include "HarnessRecordProtocol.h"

namespace {

constexpr UINTN kListBufferSize = 32;
// Bytes 0-2 of the first buffer belong to the consumer; the driver must leave them alone.
constexpr UINT8 kConsumerByte = 0xA5;
constexpr UINT8 kUnwrittenByte = 0xCC;

// The platform signal protocol carries no data; each installation needs its own interface.
UINT8 mPlatformSignals[2];
EFI_HANDLE mPlatformSignalHandles[2];
BOOLEAN mReadyToBootSeen;

VOID EFIAPI NoteReadyToBoot(EFI_EVENT, VOID *) {
  mReadyToBootSeen = TRUE;
}

VOID PrintConstantSlots(BOARD_INFO_PROTOCOL *BoardInfo) {
  ConsoleLine()
      .Text("slots 0=")
      .Hex(BoardInfo->BooleanQuery0(BoardInfo, nullptr, nullptr))
      .Text(" 1=")
      .Hex(BoardInfo->ValueQuery1(BoardInfo, nullptr, nullptr))
      .Text(" 2=")
      .Hex(BoardInfo->BooleanQuery2(BoardInfo, nullptr, nullptr))
      .Text(" 5=")
      .Hex(BoardInfo->BooleanQuery5(BoardInfo, nullptr, nullptr))
      .Text(" 6=")
      .Hex(BoardInfo->ValueQuery6(BoardInfo, nullptr, nullptr))
      .Text(" 7=")
      .Hex(BoardInfo->ValueQuery7(BoardInfo, nullptr, nullptr))
      .Emit();
  const VOID *Reserved[] = {BoardInfo->Reserved3, BoardInfo->Reserved8, BoardInfo->Reserved9,
                            BoardInfo->Reserved10, BoardInfo->Reserved11};
  UINTN NonNull = 0;
  for (const VOID *Slot : Reserved) {
    NonNull += Slot != nullptr ? 1 : 0;
  }
  ConsoleLine().Text("reserved-slots non-null=").Decimal(NonNull).Emit();
}

VOID PrintList(CONST CHAR8 *Stage, CONST CHAR8 *Name, CONST UINT8 *List) {
  ConsoleLine Line;
  Line.Text(Stage).Text(Name).Text(" count=").Decimal(List[NIC_MAC_LIST_COUNT]);
  for (UINTN Entry = 0; Entry < List[NIC_MAC_LIST_COUNT]; ++Entry) {
    Line.Text(" ").Bytes(List + NIC_MAC_LIST_ENTRIES + NIC_MAC_ADDRESS_SIZE * Entry,
                         NIC_MAC_ADDRESS_SIZE);
  }
  Line.Emit();
}

VOID CollectMacAddresses(BOARD_INFO_PROTOCOL *BoardInfo, CONST CHAR8 *Stage) {
  UINT8 Buffer1[kListBufferSize];
  UINT8 Buffer2[kListBufferSize];
  gBS->SetMem(Buffer1, sizeof(Buffer1), kUnwrittenByte);
  gBS->SetMem(Buffer2, sizeof(Buffer2), kUnwrittenByte);
  gBS->SetMem(Buffer1, NIC_MAC_LIST1_OFFSET, kConsumerByte);

  const EFI_STATUS Status = BoardInfo->GetNicMacAddresses(Buffer1, Buffer2);
  ConsoleLine().Text(Stage).Text("get-nic-mac-addresses status=").Hex(Status).Emit();
  ConsoleLine().Text(Stage).Text("nic-buffer1-head ").Bytes(Buffer1, NIC_MAC_LIST1_OFFSET).Emit();
  PrintList(Stage, "nic-list1", Buffer1 + NIC_MAC_LIST1_OFFSET);
  PrintList(Stage, "nic-list2", Buffer2 + NIC_MAC_LIST2_OFFSET);
}

// Installs the platform signal protocol once more; the driver's notification reports to the
// setup item service, whose calls the harness recorded.
VOID SignalPlatform(HARNESS_RECORD_PROTOCOL *Record, UINTN Round, CONST CHAR8 *Stage) {
  const UINT64 Before = Record != nullptr ? Record->MarkItemCount : 0;
  const EFI_STATUS Status =
      gBS->InstallProtocolInterface(&mPlatformSignalHandles[Round], &PLATFORM_SIGNAL_PROTOCOL_GUID,
                                    EFI_NATIVE_INTERFACE, &mPlatformSignals[Round]);
  ConsoleLine().Text(Stage).Text("platform-signal status=").Hex(Status).Emit();
  if (Record == nullptr) {
    return;
  }
  ConsoleLine().Text(Stage).Text("mark-item calls=").Decimal(Record->MarkItemCount - Before).Emit();
  for (UINT64 Index = Before; Index < Record->MarkItemCount && Index < HARNESS_MAX_MARK_ITEMS;
       ++Index) {
    ConsoleLine()
        .Text(Stage)
        .Text("mark-item ")
        .Text(Record->MarkItems[Index].ItemName)
        .Text(" ")
        .Hex(Record->MarkItems[Index].Code)
        .Emit();
  }
}

VOID SignalReadyToBoot() {
  EFI_EVENT Event = nullptr;
  EFI_STATUS Status = gBS->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, NoteReadyToBoot, nullptr,
                                         &EFI_EVENT_GROUP_READY_TO_BOOT, &Event);
  if (!EFI_ERROR(Status)) {
    Status = gBS->SignalEvent(Event);
    gBS->CloseEvent(Event);
  }
  ConsoleLine()
      .Text("ready-to-boot status=")
      .Hex(Status)
      .Text(" notified=")
      .Decimal(mReadyToBootSeen)
      .Emit();
}

} // namespace

EFI_STATUS EFIAPI CheckAppEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  HARNESS_RECORD_PROTOCOL *Record = nullptr;
  EFI_STATUS Status = gBS->LocateProtocol(&HARNESS_RECORD_PROTOCOL_GUID, nullptr,
                                          reinterpret_cast<VOID **>(&Record));
  ConsoleLine().Text("harness-record status=").Hex(Status).Emit();
  if (EFI_ERROR(Status)) {
    Record = nullptr;
  }

  BOARD_INFO_PROTOCOL *BoardInfo = nullptr;
  Status = gBS->LocateProtocol(&BOARD_INFO_PROTOCOL_GUID, nullptr,
                               reinterpret_cast<VOID **>(&BoardInfo));
  ConsoleLine().Text("board-info-protocol status=").Hex(Status).Emit();
  if (!EFI_ERROR(Status)) {
    PrintConstantSlots(BoardInfo);
    CollectMacAddresses(BoardInfo, "before ");
    SignalPlatform(Record, 0, "before ");
    SignalReadyToBoot();
    // The driver and the firmware must carry on after ready-to-boot.
    CollectMacAddresses(BoardInfo, "after ");
    SignalPlatform(Record, 1, "after ");
  }

  // The application's memory goes away when it exits; so must the interfaces that point into it.
  for (UINTN Round = 0; Round < 2; ++Round) {
    if (mPlatformSignalHandles[Round] != nullptr) {
      gBS->UninstallProtocolInterface(mPlatformSignalHandles[Round], &PLATFORM_SIGNAL_PROTOCOL_GUID,
                                      &mPlatformSignals[Round]);
    }
  }
  ConsoleLine().Text("done").Emit();
  return EFI_SUCCESS;
}
