#include "FakeDxeServices.h"
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <Pcd.h>
#include "ConfigSpaceModel.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

std::unique_ptr<FakeDxe> gDxe;
EFI_BOOT_SERVICES gFakeBootServices;
EFI_RUNTIME_SERVICES gFakeRuntimeServices;
EFI_SYSTEM_TABLE gFakeSystemTable;

// Logs the call and returns the status a test chose for it, or EFI_SUCCESS.
EFI_STATUS Enter(const char *Service) {
  Dxe().Calls.push_back(Service);
  auto It = Dxe().Fail.find(Service);
  return It == Dxe().Fail.end() ? EFI_SUCCESS : It->second;
}

UINT8 EFIAPI PcdGet8(UINTN Token) {
  Dxe().PcdReads.push_back({Token, 8});
  return UINT8(Dxe().Pcd[Token]);
}
UINT32 EFIAPI PcdGet32(UINTN Token) {
  Dxe().PcdReads.push_back({Token, 32});
  return Dxe().Pcd[Token];
}
PCD_PROTOCOL gFakePcd = {.Get8 = PcdGet8, .Get32 = PcdGet32};

EFI_STATUS EFIAPI MarkItem(CONST CHAR8 *ItemName, UINTN Code) {
  Dxe().MarkedItems.push_back({ItemName, Code});
  return EFI_SUCCESS;
}
SETUP_ITEM_PROTOCOL gFakeSetupItem = {MarkItem};

EFI_STATUS EFIAPI LocateProtocol(CONST EFI_GUID *Protocol, VOID *, VOID **Interface) {
  EFI_STATUS Status = Enter("LocateProtocol");
  VOID *Found = nullptr;
  if (SameGuid(Protocol, PCD_PROTOCOL_GUID) && Dxe().PcdInstalled) {
    Found = &gFakePcd;
  } else if (SameGuid(Protocol, SETUP_ITEM_PROTOCOL_GUID) && Dxe().SetupItemInstalled) {
    Found = &gFakeSetupItem;
  }
  if (EFI_ERROR(Status) || Found == nullptr) {
    return EFI_ERROR(Status) ? Status : EFI_NOT_FOUND;
  }
  *Interface = Found;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE *Handle, CONST EFI_GUID *Protocol,
                                           EFI_INTERFACE_TYPE Type, VOID *Interface) {
  Dxe().HandleIn = *Handle;
  Dxe().InstalledGuid = Protocol;
  Dxe().InstalledType = Type;
  Dxe().InstalledInterface = Interface;
  *Handle = &gFakeSystemTable;
  return Enter("InstallProtocolInterface");
}

EFI_STATUS NewEvent(const char *Service, const EventRecord &Record, EFI_EVENT *Event) {
  EFI_STATUS Status = Enter(Service);
  if (!EFI_ERROR(Status)) {
    Dxe().Events.push_back(Record);
    *Event = reinterpret_cast<EFI_EVENT>(Dxe().Events.size());
  }
  return Status;
}

EFI_STATUS EFIAPI CreateEvent(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context,
                              EFI_EVENT *Event) {
  return NewEvent("CreateEvent", {Type, Tpl, Notify, Context, nullptr}, Event);
}

EFI_STATUS EFIAPI CreateEventEx(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify,
                                CONST VOID *Context, CONST EFI_GUID *Group, EFI_EVENT *Event) {
  return NewEvent("CreateEventEx", {Type, Tpl, Notify, Context, Group}, Event);
}

EFI_STATUS EFIAPI RegisterProtocolNotify(CONST EFI_GUID *Protocol, EFI_EVENT Event,
                                         VOID **Registration) {
  Dxe().NotifyGuid = Protocol;
  Dxe().NotifyEvent = Event;
  *Registration = &gFakeSystemTable;
  return Enter("RegisterProtocolNotify");
}

EFI_STATUS EFIAPI CloseEvent(EFI_EVENT Event) {
  Dxe().ClosedEvents.push_back(Event);
  return Enter("CloseEvent");
}

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID **Buffer) {
  EFI_STATUS Status = Enter("AllocatePool");
  if (!EFI_ERROR(Status)) {
    Dxe().PoolType = Type;
    Dxe().Pool.assign(Size, 0xA5);
    *Buffer = Dxe().Pool.data();
  }
  return Status;
}

EFI_STATUS EFIAPI GetVariable(CONST CHAR16 *Name, CONST EFI_GUID *Guid, UINT32 *Attributes,
                              UINTN *DataSize, VOID *Data) {
  EFI_STATUS Status = Enter("GetVariable");
  Dxe().GetVariableSizeIn = *DataSize;
  Dxe().AttributesRequested = Attributes != nullptr;
  if (EFI_ERROR(Status)) {
    return Status;
  }
  bool Named = std::u16string_view(Name) == u"Setup" && SameGuid(Guid, SETUP_VARIABLE_GUID);
  if (!Named || !Dxe().SetupPresent) {
    return EFI_NOT_FOUND;
  }
  UINTN Size = Dxe().Setup.size();
  if (Size > *DataSize) {
    *DataSize = Size;
    return EFI_BUFFER_TOO_SMALL;
  }
  std::copy(Dxe().Setup.begin(), Dxe().Setup.end(), static_cast<uint8_t *>(Data));
  *DataSize = Size;
  return EFI_SUCCESS;
}

// Reads device memory from the configuration-space model, as the firmware would fetch it.
VOID EFIAPI CopyMem(VOID *Destination, CONST VOID *Source, UINTN Length) {
  Enter("CopyMem");
  auto Address = reinterpret_cast<uint64_t>(Source);
  for (UINTN I = 0; I < Length; I++) {
    static_cast<uint8_t *>(Destination)[I] = Model().DeviceMemoryByte(Address + I);
  }
}

EFI_STATUS EFIAPI Stall(UINTN Microseconds) {
  Dxe().Stalls.push_back(Microseconds);
  return Enter("Stall");
}

} // namespace

size_t FakeDxe::Count(const std::string &Service) const {
  return size_t(std::count(Calls.begin(), Calls.end(), Service));
}

FakeDxe &Dxe() {
  return *gDxe;
}

void ResetDxe() {
  gDxe = std::make_unique<FakeDxe>();
  gFakeBootServices = {};
  gFakeBootServices.LocateProtocol = LocateProtocol;
  gFakeBootServices.InstallProtocolInterface = InstallProtocolInterface;
  gFakeBootServices.CreateEvent = CreateEvent;
  gFakeBootServices.CreateEventEx = CreateEventEx;
  gFakeBootServices.RegisterProtocolNotify = RegisterProtocolNotify;
  gFakeBootServices.CloseEvent = CloseEvent;
  gFakeBootServices.AllocatePool = AllocatePool;
  gFakeBootServices.CopyMem = CopyMem;
  gFakeBootServices.Stall = Stall;
  gFakeRuntimeServices = {};
  gFakeRuntimeServices.GetVariable = GetVariable;
  gFakeSystemTable = {};
  gFakeSystemTable.BootServices = &gFakeBootServices;
  gFakeSystemTable.RuntimeServices = &gFakeRuntimeServices;
  gST = &gFakeSystemTable;
  gBS = &gFakeBootServices;
  gRT = &gFakeRuntimeServices;
}

bool SameGuid(const EFI_GUID *A, const EFI_GUID &B) {
  return A != nullptr && std::memcmp(A, &B, sizeof(EFI_GUID)) == 0;
}
