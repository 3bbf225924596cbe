#include "S3SaveLib.h"
#include <Guids.h>
#include <PcdTokens.h>
#include <Library/BaseMemoryLib.h>
#include <Library/CpuLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include "Debug/DebugPrint.h"
#include "Debug/ErrorStop.h"
#include "SmmServices.h"

TarnS3LibPrivateData *mTarnS3LibPrivateData = nullptr;
EFI_EVENT mTarnS3ReadyToLockEvent = nullptr;
EFI_EVENT mTarnS3CloseTableEvent = nullptr;
UINT64 mPciExpressWindowBase = 0;
UINT32 mPciExpressWindowSize = 0;
BOOLEAN mReadyToLockEventClosed = FALSE;
BOOLEAN mCloseTableEventClosed = FALSE;
BOOLEAN mCloseTableRan = FALSE;

namespace {

constexpr UINT64 S3_MESSAGE_LEVEL = 0x4000000000000;
constexpr UINT32 S3_TABLE_CHECK_FAILED = 7;

constexpr UINT32 TABLE_SIGNATURE_ERROR = 0x90672;
constexpr UINT32 TABLE_BOUNDARY_ERROR = 0x90677;
constexpr UINT32 TABLE_OFFSET_ERROR = 0x90682;
constexpr UINT32 NO_COMMUNICATION_BUFFER_ERROR = 0x90821;
constexpr UINT32 NO_COMMUNICATION_PROTOCOL_ERROR = 0x90835;
constexpr UINT32 PCI_EXPRESS_WINDOW_DISABLED_ERROR = 0x90869;
constexpr UINT32 RECORD_ALLOCATION_ERROR = 0x90875;
constexpr UINT32 READY_TO_LOCK_EVENT_ERROR = 0x90898;
constexpr UINT32 CLOSE_TABLE_EVENT_ERROR = 0x90915;
constexpr UINT32 CLOSE_READY_TO_LOCK_EVENT_ERROR = 0x90941;
constexpr UINT32 CLOSE_CLOSE_TABLE_EVENT_ERROR = 0x90946;

// The record this image created and published; NULL in an image that adopted another's.
TarnS3LibPrivateData *mOwnRecord;

// MMIO configuration base address MSR: bit 0 enables the window, bits 5:2 give log2 of its bus
// count, bits 47:20 its base.
constexpr UINT32 MSR_PCI_EXPRESS_WINDOW = 0xC0010058;
constexpr UINT64 PCI_EXPRESS_WINDOW_ENABLE = 1;
constexpr UINT64 PCI_EXPRESS_WINDOW_BASE_MASK = ~UINT64(0xFFFFF);
constexpr UINT32 MIB_SHIFT = 20;

// Without PCD_PROTOCOL every token reads 0 and writes are dropped.
UINT64 GetPcd64(UINTN Token) {
  PCD_PROTOCOL *Pcd = LocatePcdService();
  return Pcd == nullptr ? 0 : Pcd->Get64(Token);
}

VOID SetPcd64(UINTN Token, UINT64 Value) {
  PCD_PROTOCOL *Pcd = LocatePcdService();
  if (Pcd != nullptr) {
    Pcd->Set64(Token, Value);
  }
}

VOID ReadPciExpressWindow() {
  const UINT64 Msr = AsmReadMsr64(MSR_PCI_EXPRESS_WINDOW);
  if ((Msr & PCI_EXPRESS_WINDOW_ENABLE) == 0) {
    ErrorStop(PCI_EXPRESS_WINDOW_DISABLED_ERROR);
    return;
  }
  mPciExpressWindowBase = Msr & PCI_EXPRESS_WINDOW_BASE_MASK;
  // Computed in 32 bits: a bus-range exponent of 12 or more wraps to 0.
  mPciExpressWindowSize = (UINT32(1) << ((Msr >> 2) & 0xF)) << MIB_SHIFT;
}

// The table may sit at any alignment, and so may the fields its offsets name.
UINT32 ReadTable32(UINT64 Address) {
  UINT32 Value;
  CopyMem(&Value, reinterpret_cast<CONST VOID *>(UINTN(Address)), sizeof(Value));
  return Value;
}

// The side of SMRAM the table's header lies on, all of it: a header that straddles an SMRAM edge,
// wraps, or cannot be judged for want of an SMRAM map has none, and the table is refused.
enum class TableSide { None, InSmram, OutsideSmram };

TableSide SideOfHeader(UINT64 TableBase) {
  if (BufferInSmram(TableBase, sizeof(S3_TABLE_HEADER))) {
    return TableSide::InSmram;
  }
  return BufferOutsideSmram(TableBase, sizeof(S3_TABLE_HEADER)) ? TableSide::OutsideSmram
                                                                : TableSide::None;
}

// A field the header points to must lie, whole, on the header's own side of SMRAM, and its address
// must not wrap: otherwise a table in boot-services memory could make this code read or write
// SMRAM.
BOOLEAN TableFieldOnTableSide(UINT64 TableBase, TableSide Side, UINT64 Offset, UINT64 Length) {
  if (Offset > ~UINT64(0) - TableBase) {
    return FALSE;
  }
  const UINT64 Field = TableBase + Offset;
  return Side == TableSide::InSmram ? BufferInSmram(Field, Length)
                                    : BufferOutsideSmram(Field, Length);
}

// The offsets come from the header's copy in SMRAM, never from the table again: a table outside
// SMRAM can change under this code (another processor, a DMA agent) between a check and a use.
BOOLEAN TableOffsetsOnTableSide(UINT64 TableBase, const S3_TABLE_HEADER &Header) {
  const TableSide Side = SideOfHeader(TableBase);
  return Side != TableSide::None &&
         TableFieldOnTableSide(TableBase, Side, Header.BoundaryOffset,
                               sizeof(S3_TABLE_BOUNDARY_VALUE)) &&
         TableFieldOnTableSide(TableBase, Side, Header.TerminatorOffset, sizeof(S3_TABLE_END_MARK));
}

VOID CopyTableHeader(UINT64 TableBase, S3_TABLE_HEADER *Header) {
  CopyMem(Header, reinterpret_cast<CONST VOID *>(UINTN(TableBase)), sizeof(*Header));
}

VOID WriteTableEndMark(UINT64 TableBase, const S3_TABLE_HEADER &Header) {
  const UINT64 Terminator = TableBase + Header.TerminatorOffset;
  CopyMem(reinterpret_cast<VOID *>(UINTN(Terminator)), &S3_TABLE_END_MARK,
          sizeof(S3_TABLE_END_MARK));
}

// The hand-over message is built outside SMRAM, where the communication protocol reads it.
BOOLEAN CommunicationBufferUsable(UINT64 BufferAddress) {
  return BufferAddress != 0 && BufferOutsideSmram(BufferAddress, sizeof(S3_TABLE_HANDOVER_MESSAGE));
}

VOID CloseOwnEvent(EFI_EVENT Event, BOOLEAN ClosedByCallback, UINT32 ErrorCode) {
  if (Event != nullptr && !ClosedByCallback && EFI_ERROR(gBS->CloseEvent(Event))) {
    ErrorStop(ErrorCode);
  }
}

VOID BuildHandoverMessage(S3_TABLE_HANDOVER_MESSAGE *Message, TarnS3LibPrivateData *Record) {
  ZeroMem(Message, sizeof(*Message));
  CopyMem(&Message->HeaderGuid, &S3_SAVE_COMMUNICATE_GUID, sizeof(EFI_GUID));
  Message->MessageLength = S3_TABLE_HANDOVER_DATA_SIZE;
  Message->Function = S3_TABLE_HANDOVER_FUNCTION;
  Message->RecordAddress = UINTN(Record);
}

} // namespace

EFI_STATUS S3SaveLibSetup(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  const UINT64 SharedRecord = GetPcd64(PcdS3LibPrivateData);
  ReadPciExpressWindow();
  // Another module created the record and owns its events.
  if (SharedRecord != 0) {
    mTarnS3LibPrivateData = reinterpret_cast<TarnS3LibPrivateData *>(UINTN(SharedRecord));
    return EFI_SUCCESS;
  }

  DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3LibPrivateData allocation\n");
  auto *Record =
      static_cast<TarnS3LibPrivateData *>(AllocateSmramPool(sizeof(TarnS3LibPrivateData)));
  if (Record == nullptr) {
    ErrorStop(RECORD_ALLOCATION_ERROR);
    DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3LibPrivateData allocate fail\n");
    return EFI_OUT_OF_RESOURCES;
  }
  ZeroMem(Record, sizeof(*Record));
  SetPcd64(PcdS3LibPrivateData, UINTN(Record));
  mOwnRecord = Record;

  // The signal runs the callback at once, which finds the protocol if it is already installed.
  VOID *Registration = nullptr;
  gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnReadyToLock, nullptr,
                   &mTarnS3ReadyToLockEvent);
  gBS->RegisterProtocolNotify(&EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL_GUID, mTarnS3ReadyToLockEvent,
                              &Registration);
  gBS->SignalEvent(mTarnS3ReadyToLockEvent);
  // Tested again after the stop: an agent that releases it may have supplied the event.
  if (mTarnS3ReadyToLockEvent == nullptr) {
    ErrorStop(READY_TO_LOCK_EVENT_ERROR);
    if (mTarnS3ReadyToLockEvent == nullptr) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3SaveLib create BootScriptLock Event fail\n");
      return EFI_UNSUPPORTED;
    }
  }

  const EFI_STATUS Status =
      gBS->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, TarnS3SaveCloseTableCallBack, nullptr,
                         &EFI_EVENT_GROUP_READY_TO_BOOT, &mTarnS3CloseTableEvent);
  if (Status != EFI_SUCCESS) {
    ErrorStop(CLOSE_TABLE_EVENT_ERROR);
    if (EFI_ERROR(Status)) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3SaveLib create CloseTable Event fail\n");
      return EFI_UNSUPPORTED;
    }
  }

  mTarnS3LibPrivateData = Record;
  return EFI_SUCCESS;
}

VOID EFIAPI OnReadyToLock(EFI_EVENT Event, VOID *) {
  VOID *Interface = nullptr;
  // Not installed yet: stay armed for its installation.
  if (EFI_ERROR(
          gBS->LocateProtocol(&EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL_GUID, nullptr, &Interface))) {
    return;
  }
  if (Event != nullptr && !EFI_ERROR(gBS->CloseEvent(Event))) {
    mReadyToLockEventClosed |= Event == mTarnS3ReadyToLockEvent;
  }
  if (mTarnS3LibPrivateData != nullptr) {
    mTarnS3LibPrivateData->Locked = 1;
  }
}

VOID EFIAPI TarnS3SaveCloseTableCallBack(EFI_EVENT Event, VOID *) {
  if (mCloseTableRan) {
    return;
  }
  mCloseTableRan = TRUE;
  // Closed first, so later ready-to-boot signals find nothing to run; if the close fails, the
  // flag above keeps them from doing the work again.
  if (Event != nullptr && !EFI_ERROR(gBS->CloseEvent(Event))) {
    mCloseTableEventClosed |= Event == mTarnS3CloseTableEvent;
  }
  DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3SaveCloseTableCallBack\n");
  TarnS3LibPrivateData *Record = mTarnS3LibPrivateData;
  const UINT64 TableBase = Record == nullptr ? 0 : Record->TableBase;
  if (TableBase == 0) {
    DebugTracePrint(S3_MESSAGE_LEVEL, "mTarnS3LibPrivateData is NULL\n");
    return;
  }
  S3_TABLE_HEADER Header;
  if (CheckS3Table(TableBase, &Header) != 0) {
    return;
  }
  WriteTableEndMark(TableBase, Header);

  const UINT64 BufferAddress = GetPcd64(PcdS3CommunicationBuffer);
  if (!CommunicationBufferUsable(BufferAddress)) {
    ErrorStop(NO_COMMUNICATION_BUFFER_ERROR);
    return;
  }
  auto *Message = reinterpret_cast<S3_TABLE_HANDOVER_MESSAGE *>(UINTN(BufferAddress));
  BuildHandoverMessage(Message, Record);

  EFI_SMM_COMMUNICATION_PROTOCOL *Communication = nullptr;
  if (gBS->LocateProtocol(&EFI_SMM_COMMUNICATION_PROTOCOL_GUID, nullptr,
                          reinterpret_cast<VOID **>(&Communication)) != EFI_SUCCESS) {
    ErrorStop(NO_COMMUNICATION_PROTOCOL_ERROR);
  }
  if (Communication == nullptr) {
    DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3SaveLib locate SmmCommunicationProtocol fail \n");
    return;
  }
  UINTN MessageSize = sizeof(S3_TABLE_HANDOVER_MESSAGE);
  // Nothing reached SMRAM on an error: the table is kept, and the record does not claim it was
  // handed over.
  if (EFI_ERROR(Communication->Communicate(Communication, Message, &MessageSize))) {
    DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3SaveLib SmmCommunication Communicate fail\n");
    return;
  }
  Record->Closed = 1;
  ReleasePool(reinterpret_cast<VOID *>(UINTN(TableBase)));
}

UINT32 CheckS3Table(UINT64 TableBase, S3_TABLE_HEADER *Header) {
  // Each test is repeated after the stop: an agent that releases it may have repaired the table.
  // The header must lie whole on one side of SMRAM before any of it is read.
  if (SideOfHeader(TableBase) == TableSide::None) {
    ErrorStop(TABLE_OFFSET_ERROR);
    if (SideOfHeader(TableBase) == TableSide::None) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3Lib table offset check fail\n");
      return S3_TABLE_CHECK_FAILED;
    }
  }
  if (ReadTable32(TableBase) != S3_TABLE_SIGNATURE) {
    ErrorStop(TABLE_SIGNATURE_ERROR);
    if (ReadTable32(TableBase) != S3_TABLE_SIGNATURE) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3Lib table Signature check fail\n");
      return S3_TABLE_CHECK_FAILED;
    }
  }
  CopyTableHeader(TableBase, Header);
  if (!TableOffsetsOnTableSide(TableBase, *Header)) {
    ErrorStop(TABLE_OFFSET_ERROR);
    CopyTableHeader(TableBase, Header);
    if (!TableOffsetsOnTableSide(TableBase, *Header)) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3Lib table offset check fail\n");
      return S3_TABLE_CHECK_FAILED;
    }
  }
  if (ReadTable32(TableBase + Header->BoundaryOffset) != S3_TABLE_BOUNDARY_VALUE) {
    ErrorStop(TABLE_BOUNDARY_ERROR);
    if (ReadTable32(TableBase + Header->BoundaryOffset) != S3_TABLE_BOUNDARY_VALUE) {
      DebugTracePrint(S3_MESSAGE_LEVEL, "TarnS3Lib table boundary check fail\n");
      return S3_TABLE_CHECK_FAILED;
    }
  }
  return 0;
}

VOID S3SaveLibTeardown() {
  CloseOwnEvent(mTarnS3ReadyToLockEvent, mReadyToLockEventClosed, CLOSE_READY_TO_LOCK_EVENT_ERROR);
  CloseOwnEvent(mTarnS3CloseTableEvent, mCloseTableEventClosed, CLOSE_CLOSE_TABLE_EVENT_ERROR);
  // A record left published would be adopted by the next image, which creates no events, so the
  // table would never be handed over.
  if (mOwnRecord != nullptr) {
    SetPcd64(PcdS3LibPrivateData, 0);
    ReleasePool(mOwnRecord);
    mOwnRecord = nullptr;
    mTarnS3LibPrivateData = nullptr;
  }
}
