// The boot and runtime services tables that DXE and SMM drivers call. Each member is a plain
// EFIAPI function that finds the running simulator, applies any [[fault]] for the call, does
// what UEFI 2.10 chapters 7 and 8 say, and reports it to the trace.
#include "Core/Faults.h"
#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Dxe/DxeCore.h"
#include "Services/VariableAccess.h"
#include "Services/VariableStore.h"
#include "Smm/SmmCore.h"

#include <algorithm>

namespace boardsim {
namespace {

DxeCore &Dxe() {
  return Sim().dxe();
}

// A boot service called from SMM code is still a boot service: "dxe.X" faults apply to it as
// well as "smm.X" ones.
Injected BootFault(const char *service, const EFI_GUID *target = nullptr,
                   std::string_view targetName = {}) {
  Simulator &sim = Sim();
  return sim.faults().CheckBootSide(sim.CurrentPhase(), service, sim.CurrentImage(), target,
                                    targetName);
}

EFI_TPL EFIAPI RaiseTpl(EFI_TPL tpl) {
  return Dxe().events().Raise(tpl);
}
VOID EFIAPI RestoreTpl(EFI_TPL tpl) {
  Dxe().events().Restore(tpl);
}

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE, UINTN size, VOID **buffer) {
  void *block = nullptr;
  const Status status = BootFault("AllocatePool").Run([&]() -> Status {
    if (!buffer)
      return EFI_INVALID_PARAMETER;
    block = Sim().memory().Allocate(Space::Boot, size);
    *buffer = block;
    return block ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  });
  Sim().Emit("alloc", [&](Json &e) {
    e["space"] = "boot";
    e["size"] = size;
    e["addr"] = reinterpret_cast<uint64_t>(block);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI FreePool(VOID *buffer) {
  const Status status = BootFault("FreePool").Run([&]() -> Status {
    if (!Sim().memory().Owns(Space::Boot, buffer))
      return EFI_INVALID_PARAMETER;
    Sim().smm().NoteFree(buffer);
    Sim().memory().Free(Space::Boot, buffer);
    return EFI_SUCCESS;
  });
  Sim().Emit("free", [&](Json &e) {
    e["space"] = "boot";
    e["addr"] = reinterpret_cast<uint64_t>(buffer);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS CreateEventCommon(const char *service, UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify,
                             CONST VOID *context, CONST EFI_GUID *group, EFI_EVENT *event) {
  const Status status = BootFault(service, group).Run([&] {
    return Dxe().events().Create(type, tpl, notify, const_cast<VOID *>(context), group, event);
  });
  Sim().Emit("event_create", [&](Json &e) {
    e["event"] = (!IsError(status) && event) ? Dxe().events().IdOf(*event) : 0;
    e["type"] = type;
    e["tpl"] = tpl;
    e["group"] = group ? Json(GuidText(*group)) : Json(nullptr);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI CreateEvent(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, VOID *context,
                              EFI_EVENT *event) {
  return CreateEventCommon("CreateEvent", type, tpl, notify, context, nullptr, event);
}

EFI_STATUS EFIAPI CreateEventEx(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify,
                                CONST VOID *context, CONST EFI_GUID *group, EFI_EVENT *event) {
  return CreateEventCommon("CreateEventEx", type, tpl, notify, context, group, event);
}

EFI_STATUS EFIAPI SignalEvent(EFI_EVENT event) {
  return BootFault("SignalEvent").Run([&] { return Dxe().events().Signal(event); });
}

EFI_STATUS EFIAPI CloseEvent(EFI_EVENT event) {
  return BootFault("CloseEvent").Run([&] { return Dxe().events().Close(event); });
}

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE *handle, CONST EFI_GUID *protocol,
                                           EFI_INTERFACE_TYPE type, VOID *interface) {
  if (!protocol || type != EFI_NATIVE_INTERFACE)
    return EFI_INVALID_PARAMETER;
  return BootFault("InstallProtocolInterface", protocol).Run([&] {
    return Dxe().protocols().Install(handle, *protocol, interface);
  });
}

EFI_STATUS EFIAPI ReinstallProtocolInterface(EFI_HANDLE handle, CONST EFI_GUID *protocol,
                                             VOID *oldInterface, VOID *newInterface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  return BootFault("ReinstallProtocolInterface", protocol).Run([&] {
    return Dxe().protocols().Reinstall(handle, *protocol, oldInterface, newInterface);
  });
}

EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE handle, CONST EFI_GUID *protocol,
                                             VOID *interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  return BootFault("UninstallProtocolInterface", protocol).Run([&] {
    return Dxe().protocols().Uninstall(handle, *protocol, interface);
  });
}

EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE handle, CONST EFI_GUID *protocol, VOID **interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  const Status status = BootFault("HandleProtocol", protocol).Run([&] {
    return Dxe().protocols().Handle(handle, *protocol, interface);
  });
  Sim().Emit("handle_protocol", [&](Json &e) {
    AddGuidFields(e, *protocol);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI RegisterProtocolNotify(CONST EFI_GUID *protocol, EFI_EVENT event,
                                         VOID **registration) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  return BootFault("RegisterProtocolNotify", protocol).Run([&] {
    return Dxe().protocols().RegisterNotify(*protocol, event, registration);
  });
}

EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE searchType, CONST EFI_GUID *protocol,
                                     VOID *, UINTN *count, EFI_HANDLE **buffer) {
  if (searchType != ByProtocol || !protocol || !count || !buffer)
    return EFI_INVALID_PARAMETER;
  *count = 0;
  *buffer = nullptr;
  const Status status = BootFault("LocateHandleBuffer", protocol).Run([&]() -> Status {
    auto handles = Dxe().protocols().HandlesWith(*protocol);
    if (handles.empty())
      return EFI_NOT_FOUND;
    auto *list = static_cast<EFI_HANDLE *>(
        Sim().memory().Allocate(Space::Boot, handles.size() * sizeof(EFI_HANDLE)));
    if (!list)
      return EFI_OUT_OF_RESOURCES;
    std::copy(handles.begin(), handles.end(), list);
    *count = handles.size();
    *buffer = list;
    return EFI_SUCCESS;
  });
  Sim().Emit("handles_locate", [&](Json &e) {
    AddGuidFields(e, *protocol);
    e["status"] = StatusName(status);
    e["count"] = *count;
  });
  return status;
}

EFI_STATUS EFIAPI LocateProtocol(CONST EFI_GUID *protocol, VOID *registration, VOID **interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  if (interface)
    *interface = nullptr;
  const Status status = BootFault("LocateProtocol", protocol).Run([&] {
    return Dxe().protocols().Locate(*protocol, registration, interface);
  });
  Sim().Emit("protocol_locate", [&](Json &e) {
    AddGuidFields(e, *protocol);
    e["status"] = StatusName(status);
    e["where"] = "boot";
  });
  return status;
}

EFI_STATUS EFIAPI Stall(UINTN microseconds) {
  return BootFault("Stall").Run([&]() -> Status {
    Sim().AdvanceUs(microseconds);
    Sim().Emit("stall", [&](Json &e) { e["us"] = microseconds; });
    return EFI_SUCCESS;
  });
}

VOID EFIAPI CopyMem(VOID *destination, CONST VOID *source, UINTN length) {
  Dxe().CopyMemory(destination, source, length);
}

VOID EFIAPI SetMem(VOID *buffer, UINTN size, UINT8 value) {
  Dxe().SetMemory(buffer, size, value);
}

EFI_STATUS EFIAPI InstallConfigurationTable(CONST EFI_GUID *guid, VOID *table) {
  if (!guid)
    return EFI_INVALID_PARAMETER;
  return BootFault("InstallConfigurationTable", guid).Run([&]() -> Status {
    Dxe().AddConfigurationTable(*guid, table);
    return EFI_SUCCESS;
  });
}

EFI_STATUS EFIAPI GetVariable(CONST CHAR16 *name, CONST EFI_GUID *guid, UINT32 *attributes,
                              UINTN *dataSize, VOID *data) {
  if (!name || !guid || !dataSize)
    return EFI_INVALID_PARAMETER;
  Injected injected = BootFault("GetVariable", guid, Narrow(ReadChar16String(name)));
  return ReadVariable(Sim(), injected, name, *guid, attributes, dataSize, data);
}

EFI_STATUS EFIAPI SetVariable(CONST CHAR16 *name, CONST EFI_GUID *guid, UINT32 attributes,
                              UINTN dataSize, CONST VOID *data) {
  if (!name || !guid || (dataSize && !data))
    return EFI_INVALID_PARAMETER;
  std::u16string variable = ReadChar16String(name);
  return BootFault("SetVariable", guid, Narrow(variable)).Run([&]() -> Status {
    const auto *bytes = static_cast<const uint8_t *>(data);
    Sim().variables().Set(variable, *guid, std::vector<uint8_t>(bytes, bytes + dataSize),
                          attributes);
    return EFI_SUCCESS;
  });
}

} // namespace

void DxeCore::BuildTables() {
  Memory &memory = sim_.memory();
  bootServices_ =
      static_cast<EFI_BOOT_SERVICES *>(memory.Allocate(Space::Platform, sizeof(EFI_BOOT_SERVICES)));
  runtimeServices_ = static_cast<EFI_RUNTIME_SERVICES *>(
      memory.Allocate(Space::Platform, sizeof(EFI_RUNTIME_SERVICES)));
  systemTable_ =
      static_cast<EFI_SYSTEM_TABLE *>(memory.Allocate(Space::Platform, sizeof(EFI_SYSTEM_TABLE)));

  EFI_BOOT_SERVICES &bs = *bootServices_;
  bs.Hdr = {EFI_BOOT_SERVICES_SIGNATURE, 0x0002004B, sizeof bs, 0, 0};
  bs.RaiseTPL = RaiseTpl;
  bs.RestoreTPL = RestoreTpl;
  BOARDSIM_UNMODELLED(bs, AllocatePages);
  BOARDSIM_UNMODELLED(bs, FreePages);
  BOARDSIM_UNMODELLED(bs, GetMemoryMap);
  bs.AllocatePool = AllocatePool;
  bs.FreePool = FreePool;
  bs.CreateEvent = CreateEvent;
  BOARDSIM_UNMODELLED(bs, SetTimer);
  BOARDSIM_UNMODELLED(bs, WaitForEvent);
  bs.SignalEvent = SignalEvent;
  bs.CloseEvent = CloseEvent;
  BOARDSIM_UNMODELLED(bs, CheckEvent);
  bs.InstallProtocolInterface = InstallProtocolInterface;
  bs.ReinstallProtocolInterface = ReinstallProtocolInterface;
  bs.UninstallProtocolInterface = UninstallProtocolInterface;
  bs.HandleProtocol = HandleProtocol;
  bs.RegisterProtocolNotify = RegisterProtocolNotify;
  BOARDSIM_UNMODELLED(bs, LocateHandle);
  BOARDSIM_UNMODELLED(bs, LocateDevicePath);
  bs.InstallConfigurationTable = InstallConfigurationTable;
  BOARDSIM_UNMODELLED(bs, LoadImage);
  BOARDSIM_UNMODELLED(bs, StartImage);
  BOARDSIM_UNMODELLED(bs, Exit);
  BOARDSIM_UNMODELLED(bs, UnloadImage);
  BOARDSIM_UNMODELLED(bs, ExitBootServices);
  BOARDSIM_UNMODELLED(bs, GetNextMonotonicCount);
  bs.Stall = Stall;
  BOARDSIM_UNMODELLED(bs, SetWatchdogTimer);
  BOARDSIM_UNMODELLED(bs, ConnectController);
  BOARDSIM_UNMODELLED(bs, DisconnectController);
  BOARDSIM_UNMODELLED(bs, OpenProtocol);
  BOARDSIM_UNMODELLED(bs, CloseProtocol);
  BOARDSIM_UNMODELLED(bs, OpenProtocolInformation);
  BOARDSIM_UNMODELLED(bs, ProtocolsPerHandle);
  bs.LocateHandleBuffer = LocateHandleBuffer;
  bs.LocateProtocol = LocateProtocol;
  BOARDSIM_UNMODELLED(bs, InstallMultipleProtocolInterfaces);
  BOARDSIM_UNMODELLED(bs, UninstallMultipleProtocolInterfaces);
  BOARDSIM_UNMODELLED(bs, CalculateCrc32);
  bs.CopyMem = CopyMem;
  bs.SetMem = SetMem;
  bs.CreateEventEx = CreateEventEx;

  EFI_RUNTIME_SERVICES &rt = *runtimeServices_;
  rt.Hdr = {EFI_RUNTIME_SERVICES_SIGNATURE, 0x0002004B, sizeof rt, 0, 0};
  BOARDSIM_UNMODELLED(rt, GetTime);
  BOARDSIM_UNMODELLED(rt, SetTime);
  BOARDSIM_UNMODELLED(rt, GetWakeupTime);
  BOARDSIM_UNMODELLED(rt, SetWakeupTime);
  BOARDSIM_UNMODELLED(rt, SetVirtualAddressMap);
  BOARDSIM_UNMODELLED(rt, ConvertPointer);
  rt.GetVariable = GetVariable;
  BOARDSIM_UNMODELLED(rt, GetNextVariableName);
  rt.SetVariable = SetVariable;
  BOARDSIM_UNMODELLED(rt, GetNextHighMonotonicCount);
  BOARDSIM_UNMODELLED(rt, ResetSystem);
  BOARDSIM_UNMODELLED(rt, UpdateCapsule);
  BOARDSIM_UNMODELLED(rt, QueryCapsuleCapabilities);
  BOARDSIM_UNMODELLED(rt, QueryVariableInfo);

  EFI_SYSTEM_TABLE &st = *systemTable_;
  st.Hdr = {EFI_SYSTEM_TABLE_SIGNATURE, 0x0002004B, sizeof st, 0, 0};
  st.RuntimeServices = runtimeServices_;
  st.BootServices = bootServices_;
  st.NumberOfTableEntries = 0;
  st.ConfigurationTable = configurationTable_;
}

} // namespace boardsim
