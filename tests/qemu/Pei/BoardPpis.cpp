#include "BoardPpis.h"

#include <Guids.h>
#include <Library/BaseMemoryLib.h>
#include <PlatformPpis.h>

#include "DebugConsoleLine.h"
#include "HarnessState.h"

namespace {

// ---- EFI_PEI_SMBUS2_PPI: byte transfers to the board's devices ----

// The device at a 7-bit address, or nullptr: an address without a device never answers.
INTN DeviceIndex(UINTN Address) {
  for (UINTN Index = 0; Index < PEI_HARNESS_SMBUS_DEVICES; ++Index) {
    if (QEMU_BOARD_SMBUS[Index].Address == Address) {
      return static_cast<INTN>(Index);
    }
  }
  return -1;
}

// Counts the transaction; whether the board says it fails.
BOOLEAN TransactionFails(PEI_HARNESS_STATE &State, UINTN Device) {
  const QEMU_SMBUS_DEVICE &Board = QEMU_BOARD_SMBUS[Device];
  const UINT32 Number = ++State.SmbusTransactions[Device];
  BOOLEAN Listed = FALSE;
  for (UINT32 Index = 0; Index < Board.FailOnCount; ++Index) {
    Listed |= Board.FailOn[Index] == Number;
  }
  return !Board.Present || Number <= Board.FailFirst || Listed;
}

EFI_STATUS EFIAPI SmbusExecute(CONST EFI_PEI_SMBUS2_PPI *, EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                               EFI_SMBUS_DEVICE_COMMAND Command, EFI_SMBUS_OPERATION Operation,
                               BOOLEAN, UINTN *Length, VOID *Buffer) {
  if ((Operation != EfiSmbusReadByte && Operation != EfiSmbusWriteByte) || Length == nullptr ||
      Buffer == nullptr || *Length < 1) {
    return EFI_UNSUPPORTED;
  }
  PEI_HARNESS_STATE &State = *HarnessState();
  const UINTN Address = SlaveAddress.SmbusDeviceAddress;
  const INTN Device = DeviceIndex(Address);
  UINT8 *Data = static_cast<UINT8 *>(Buffer);
  EFI_STATUS Status = EFI_DEVICE_ERROR;
  if (Device >= 0 && !TransactionFails(State, static_cast<UINTN>(Device))) {
    UINT8 &Register = State.Registers[Device][Command & 0xFF];
    if (Operation == EfiSmbusWriteByte) {
      Register = *Data;
    } else {
      *Data = Register;
    }
    *Length = 1;
    Status = EFI_SUCCESS;
  }
  DebugConsoleLine()
      .Text("smbus op=")
      .Text(Operation == EfiSmbusWriteByte ? "write_byte" : "read_byte")
      .Text(" address=")
      .Hex(Address)
      .Text(" command=")
      .Hex(Command)
      .Text(" data=")
      .Hex(*Data)
      .Text(" status=")
      .Hex(WideStatus(Status))
      .Emit();
  return Status;
}

CONST EFI_PEI_SMBUS2_PPI mSmbus = {SmbusExecute, nullptr, nullptr, nullptr, {}};

// ---- EFI_PEI_STALL_PPI: recorded, not waited for (the board's time is not QEMU's) ----

EFI_STATUS EFIAPI Stall(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_STALL_PPI *, UINTN Microseconds) {
  DebugConsoleLine().Text("stall us=").Hex(Microseconds).Emit();
  return EFI_SUCCESS;
}

CONST EFI_PEI_STALL_PPI mStall = {1, Stall};

// ---- BMC_TRANSPORT_PPI: answers after the board's number of unanswered requests ----

constexpr UINT8 kBusyResponseSize = 2;
constexpr UINT8 kCompletionNodeBusy = 0xC0;

// Writes a response of Size bytes as far as the capacity reaches; returns its length.
UINT8 PutResponse(UINT8 Completion, UINT32 Size, UINT8 *Response, UINT8 Capacity) {
  const UINT8 Length = static_cast<UINT8>(Size < Capacity ? Size : Capacity);
  if (Response != nullptr && Length > 0) {
    SetMem(Response, Length, 0);
    Response[0] = Completion;
  }
  return Length;
}

EFI_STATUS EFIAPI SendBmcCommand(BMC_TRANSPORT_PPI *, UINT8 NetFn, UINT8 Lun, UINT8 Command,
                                 UINT8 *Request, UINT32 RequestSize, UINT8 *Response,
                                 UINT8 *ResponseSize) {
  if (ResponseSize == nullptr || (RequestSize != 0 && Request == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }
  PEI_HARNESS_STATE &State = *HarnessState();
  const UINT8 SizeIn = Response != nullptr ? *ResponseSize : 0;
  EFI_STATUS Status = EFI_SUCCESS;
  if (QEMU_BOARD_BMC.Answers && State.BmcUnanswered >= QEMU_BOARD_BMC.ReadyAfter) {
    *ResponseSize = PutResponse(0, QEMU_BOARD_BMC.ResponseSize, Response, SizeIn);
  } else {
    State.BmcUnanswered += QEMU_BOARD_BMC.Answers ? 1 : 0;
    if (QEMU_BOARD_BMC.NotReadySize2) {
      PutResponse(kCompletionNodeBusy, kBusyResponseSize, Response, SizeIn);
      *ResponseSize = kBusyResponseSize;
    } else {
      Status = EFI_DEVICE_ERROR;
    }
  }
  DebugConsoleLine()
      .Text("ipmi netfn=")
      .Hex(NetFn)
      .Text(" lun=")
      .Hex(Lun)
      .Text(" command=")
      .Hex(Command)
      .Text(" request=")
      .Bytes(Request, RequestSize)
      .Text(" size_in=")
      .Hex(SizeIn)
      .Text(" status=")
      .Hex(WideStatus(Status))
      .Text(" size_out=")
      .Hex(*ResponseSize)
      .Emit();
  return Status;
}

CONST BMC_TRANSPORT_PPI mBmc = {nullptr, nullptr, nullptr, SendBmcCommand};

// ---- BOARD_TABLE_SOURCE_PPI and BOARD_TABLE_APPLY_PPI ----

EFI_STATUS EFIAPI GetSegmentTables(UINT8 *First, UINT8 *Second, UINT8 *Third) {
  if (First == nullptr || Second == nullptr || Third == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  CopyMem(First, QEMU_BOARD_TABLES[0], QEMU_BOARD_TABLE_SIZE);
  CopyMem(Second, QEMU_BOARD_TABLES[1], QEMU_BOARD_TABLE_SIZE);
  CopyMem(Third, QEMU_BOARD_TABLES[2], QEMU_BOARD_TABLE_SIZE);
  DebugConsoleLine()
      .Text("table_get first=")
      .Bytes(First, QEMU_BOARD_TABLE_SIZE)
      .Text(" second=")
      .Bytes(Second, QEMU_BOARD_TABLE_SIZE)
      .Text(" third=")
      .Bytes(Third, QEMU_BOARD_TABLE_SIZE)
      .Emit();
  return EFI_SUCCESS;
}

CONST BOARD_TABLE_SOURCE_PPI mSource = {nullptr, GetSegmentTables};

EFI_STATUS EFIAPI ApplySegmentTable(CONST EFI_PEI_SERVICES **, UINT8 Bus, UINT8 Address,
                                    UINT8 SegmentValue, UINT8 *Table, UINT8 Count) {
  DebugConsoleLine()
      .Text("table_apply bus=")
      .Hex(Bus)
      .Text(" address=")
      .Hex(Address)
      .Text(" segment=")
      .Hex(SegmentValue)
      .Text(" count=")
      .Hex(Count)
      .Text(" table=")
      .Bytes(Table, Table != nullptr ? QEMU_BOARD_TABLE_SIZE : 0)
      .Emit();
  return EFI_SUCCESS;
}

CONST BOARD_TABLE_APPLY_PPI mApply = {ApplySegmentTable};

// ---- PCD_PPI: the board's tokens here, every other call to the firmware's PCD_PPI ----

INTN TokenIndex(UINTN TokenNumber) {
  for (UINTN Index = 0; Index < PEI_HARNESS_PCD_TOKENS; ++Index) {
    if (QEMU_BOARD_PCD[Index].Token == TokenNumber) {
      return static_cast<INTN>(Index);
    }
  }
  return -1;
}

template <typename T, typename M> T BoardGet(UINTN TokenNumber, M PCD_PROTOCOL::*Member) {
  const INTN Index = TokenIndex(TokenNumber);
  return Index >= 0 ? static_cast<T>(HarnessState()->PcdValues[Index])
                    : (HarnessState()->FirmwarePcd->*Member)(TokenNumber);
}

template <typename T, typename M>
EFI_STATUS BoardSet(UINTN TokenNumber, T Value, M PCD_PROTOCOL::*Member) {
  const INTN Index = TokenIndex(TokenNumber);
  if (Index < 0) {
    return (HarnessState()->FirmwarePcd->*Member)(TokenNumber, Value);
  }
  HarnessState()->PcdValues[Index] = Value;
  DebugConsoleLine()
      .Text("pcd_set token=")
      .Hex(TokenNumber)
      .Text(" width=")
      .Hex(sizeof(T) * 8)
      .Text(" value=")
      .Hex(Value)
      .Emit();
  return EFI_SUCCESS;
}

// One forwarder per member the board's tokens do not need.
#define FORWARD(Member, Result, Parameters, Arguments)                                             \
  Result EFIAPI Forward##Member Parameters {                                                       \
    return HarnessState()->FirmwarePcd->Member Arguments;                                          \
  }
FORWARD(SetSku, VOID, (UINTN Sku), (Sku))
FORWARD(Get16, UINT16, (UINTN Token), (Token))
FORWARD(GetPtr, VOID *, (UINTN Token), (Token))
FORWARD(GetBool, BOOLEAN, (UINTN Token), (Token))
FORWARD(GetSize, UINTN, (UINTN Token), (Token))
FORWARD(Get8Ex, UINT8, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(Get16Ex, UINT16, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(Get32Ex, UINT32, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(Get64Ex, UINT64, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(GetPtrEx, VOID *, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(GetBoolEx, BOOLEAN, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(GetSizeEx, UINTN, (CONST EFI_GUID * Guid, UINTN Token), (Guid, Token))
FORWARD(Set16, EFI_STATUS, (UINTN Token, UINT16 Value), (Token, Value))
FORWARD(SetPtr, EFI_STATUS, (UINTN Token, UINTN *Size, VOID *Buffer), (Token, Size, Buffer))
FORWARD(SetBool, EFI_STATUS, (UINTN Token, BOOLEAN Value), (Token, Value))
FORWARD(Set8Ex, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, UINT8 Value), (Guid, Token, Value))
FORWARD(Set16Ex, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, UINT16 Value),
        (Guid, Token, Value))
FORWARD(Set32Ex, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, UINT32 Value),
        (Guid, Token, Value))
FORWARD(Set64Ex, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, UINT64 Value),
        (Guid, Token, Value))
FORWARD(SetPtrEx, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, UINTN *Size, VOID *Buffer),
        (Guid, Token, Size, Buffer))
FORWARD(SetBoolEx, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN Token, BOOLEAN Value),
        (Guid, Token, Value))
FORWARD(CallbackOnSet, EFI_STATUS,
        (CONST EFI_GUID * Guid, UINTN Token, PCD_PROTOCOL_CALLBACK Callback),
        (Guid, Token, Callback))
FORWARD(CancelCallback, EFI_STATUS,
        (CONST EFI_GUID * Guid, UINTN Token, PCD_PROTOCOL_CALLBACK Callback),
        (Guid, Token, Callback))
FORWARD(GetNextToken, EFI_STATUS, (CONST EFI_GUID * Guid, UINTN *Token), (Guid, Token))
FORWARD(GetNextTokenSpace, EFI_STATUS, (CONST EFI_GUID * *Guid), (Guid))
#undef FORWARD

UINT8 EFIAPI Get8(UINTN Token) {
  return BoardGet<UINT8>(Token, &PCD_PPI::Get8);
}
UINT32 EFIAPI Get32(UINTN Token) {
  return BoardGet<UINT32>(Token, &PCD_PPI::Get32);
}
UINT64 EFIAPI Get64(UINTN Token) {
  return BoardGet<UINT64>(Token, &PCD_PPI::Get64);
}
EFI_STATUS EFIAPI Set8(UINTN Token, UINT8 Value) {
  return BoardSet(Token, Value, &PCD_PPI::Set8);
}
EFI_STATUS EFIAPI Set32(UINTN Token, UINT32 Value) {
  return BoardSet(Token, Value, &PCD_PPI::Set32);
}
EFI_STATUS EFIAPI Set64(UINTN Token, UINT64 Value) {
  return BoardSet(Token, Value, &PCD_PPI::Set64);
}

CONST PCD_PPI mPcd = {{ForwardSetSku,
                       Get8,
                       ForwardGet16,
                       Get32,
                       Get64,
                       ForwardGetPtr,
                       ForwardGetBool,
                       ForwardGetSize,
                       ForwardGet8Ex,
                       ForwardGet16Ex,
                       ForwardGet32Ex,
                       ForwardGet64Ex,
                       ForwardGetPtrEx,
                       ForwardGetBoolEx,
                       ForwardGetSizeEx,
                       Set8,
                       ForwardSet16,
                       Set32,
                       Set64,
                       ForwardSetPtr,
                       ForwardSetBool,
                       ForwardSet8Ex,
                       ForwardSet16Ex,
                       ForwardSet32Ex,
                       ForwardSet64Ex,
                       ForwardSetPtrEx,
                       ForwardSetBoolEx,
                       ForwardCallbackOnSet,
                       ForwardCancelCallback,
                       ForwardGetNextToken,
                       ForwardGetNextTokenSpace}};

// ---- EFI_PEI_READ_ONLY_VARIABLE2_PPI: the firmware's, with each read printed ----

EFI_STATUS EFIAPI GetVariable(CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI *, CONST CHAR16 *Name,
                              CONST EFI_GUID *Guid, UINT32 *Attributes, UINTN *DataSize,
                              VOID *Data) {
  EFI_PEI_READ_ONLY_VARIABLE2_PPI *Firmware = HarnessState()->FirmwareVariables;
  const UINTN SizeIn = DataSize != nullptr ? *DataSize : 0;
  const EFI_STATUS Status = Firmware->GetVariable(Firmware, Name, Guid, Attributes, DataSize, Data);
  CHAR8 Ascii[32] = {};
  for (UINTN Index = 0; Name != nullptr && Name[Index] != 0 && Index + 1 < sizeof(Ascii); ++Index) {
    Ascii[Index] = static_cast<CHAR8>(Name[Index]);
  }
  DebugConsoleLine()
      .Text("variable_get name=")
      .Text(Ascii)
      .Text(" size_in=")
      .Hex(SizeIn)
      .Text(" status=")
      .Hex(WideStatus(Status))
      .Text(" size_out=")
      .Hex(DataSize != nullptr ? *DataSize : 0)
      .Emit();
  return Status;
}

EFI_STATUS EFIAPI NextVariableName(CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI *, UINTN *NameSize,
                                   CHAR16 *Name, EFI_GUID *Guid) {
  EFI_PEI_READ_ONLY_VARIABLE2_PPI *Firmware = HarnessState()->FirmwareVariables;
  return Firmware->NextVariableName(Firmware, NameSize, Name, Guid);
}

CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI mVariables = {GetVariable, NextVariableName};

constexpr UINTN kPpi = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;

// In the order the board's platform installs them; PCD_PPI first, the rest need nothing of it.
CONST EFI_PEI_PPI_DESCRIPTOR mBoardPpis[] = {
    {kPpi, &PCD_PPI_GUID, const_cast<PCD_PPI *>(&mPcd)},
    {kPpi, &EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID,
     const_cast<EFI_PEI_READ_ONLY_VARIABLE2_PPI *>(&mVariables)},
    {kPpi, &EFI_PEI_STALL_PPI_GUID, const_cast<EFI_PEI_STALL_PPI *>(&mStall)},
    {kPpi, &BMC_TRANSPORT_PPI_GUID, const_cast<BMC_TRANSPORT_PPI *>(&mBmc)},
    {kPpi, &EFI_PEI_SMBUS2_PPI_GUID, const_cast<EFI_PEI_SMBUS2_PPI *>(&mSmbus)},
    {kPpi, &BOARD_TABLE_SOURCE_PPI_GUID, const_cast<BOARD_TABLE_SOURCE_PPI *>(&mSource)},
    {kPpi, &BOARD_TABLE_APPLY_PPI_GUID, const_cast<BOARD_TABLE_APPLY_PPI *>(&mApply)},
};

} // namespace

VOID InstallBoardPpis(CONST EFI_PEI_SERVICES **PeiServices) {
  for (const EFI_PEI_PPI_DESCRIPTOR &Descriptor : mBoardPpis) {
    EFI_PEI_PPI_DESCRIPTOR *Old = nullptr;
    VOID *Interface = nullptr;
    EFI_STATUS Status =
        (*PeiServices)->LocatePpi(PeiServices, Descriptor.Guid, 0, &Old, &Interface);
    const BOOLEAN Variables = CompareGuid(Descriptor.Guid, &EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID);
    if (!EFI_ERROR(Status) && CompareGuid(Descriptor.Guid, &PCD_PPI_GUID)) {
      HarnessState()->FirmwarePcd = static_cast<PCD_PPI *>(Interface);
    }
    if (!EFI_ERROR(Status) && Variables) {
      HarnessState()->FirmwareVariables = static_cast<EFI_PEI_READ_ONLY_VARIABLE2_PPI *>(Interface);
    }
    // The variable service is the firmware's, only watched: without it there is none.
    if (EFI_ERROR(Status) && Variables) {
      DebugConsoleLine().Text("harness ppi variables absent").Emit();
      continue;
    }
    Status = EFI_ERROR(Status) ? (*PeiServices)->InstallPpi(PeiServices, &Descriptor)
                               : (*PeiServices)->ReInstallPpi(PeiServices, Old, &Descriptor);
    DebugConsoleLine()
        .Text("harness ppi ")
        .Bytes(Descriptor.Guid, sizeof(EFI_GUID))
        .Text(EFI_ERROR(Status) ? " failed" : (Old != nullptr ? " replaced" : " installed"))
        .Emit();
  }
}
