// The SMM system table (PI 1.8 volume 4, section 3.2): the SMRAM pool and the SMM protocol
// database are modelled; SMM I/O, page allocation, AP start-up and the root SMI handler
// services are not used by the board's SMM driver.
#include "Core/Faults.h"
#include "Core/GuidNames.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Smm/SmmState.h"

namespace boardsim {
namespace {

ProtocolDatabase &SmmProtocols() {
  return Sim().smm().protocols();
}

Injected SmmFault(const char *service, const EFI_GUID *target = nullptr) {
  return Sim().faults().Check(Phase::Smm, service, Sim().CurrentImage(), target);
}

EFI_STATUS EFIAPI SmmAllocatePool(EFI_MEMORY_TYPE, UINTN size, VOID **buffer) {
  if (!buffer)
    return EFI_INVALID_PARAMETER;
  void *block = nullptr;
  const Status status = SmmFault("SmmAllocatePool").Run([&]() -> Status {
    block = Sim().memory().Allocate(Space::Smram, size);
    return block ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  });
  *buffer = block;
  Sim().Emit("alloc", [&](Json &e) {
    e["space"] = "smram";
    e["size"] = size;
    e["addr"] = reinterpret_cast<uint64_t>(block);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI SmmFreePool(VOID *buffer) {
  const Status status = SmmFault("SmmFreePool").Run([&]() -> Status {
    if (!Sim().memory().Owns(Space::Smram, buffer))
      return EFI_INVALID_PARAMETER;
    Sim().smm().NoteFree(buffer);
    Sim().memory().Free(Space::Smram, buffer);
    return EFI_SUCCESS;
  });
  Sim().Emit("free", [&](Json &e) {
    e["space"] = "smram";
    e["addr"] = reinterpret_cast<uint64_t>(buffer);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI SmmInstallProtocolInterface(EFI_HANDLE *handle, CONST EFI_GUID *protocol,
                                              EFI_INTERFACE_TYPE type, VOID *interface) {
  if (!protocol || type != EFI_NATIVE_INTERFACE)
    return EFI_INVALID_PARAMETER;
  return SmmFault("SmmInstallProtocolInterface", protocol).Run([&] {
    return SmmProtocols().Install(handle, *protocol, interface);
  });
}

EFI_STATUS EFIAPI SmmUninstallProtocolInterface(EFI_HANDLE handle, CONST EFI_GUID *protocol,
                                                VOID *interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  return SmmFault("SmmUninstallProtocolInterface", protocol).Run([&] {
    return SmmProtocols().Uninstall(handle, *protocol, interface);
  });
}

EFI_STATUS EFIAPI SmmHandleProtocol(EFI_HANDLE handle, CONST EFI_GUID *protocol, VOID **interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  return SmmFault("SmmHandleProtocol", protocol).Run([&] {
    return SmmProtocols().Handle(handle, *protocol, interface);
  });
}

EFI_STATUS EFIAPI SmmLocateProtocol(CONST EFI_GUID *protocol, VOID *registration,
                                    VOID **interface) {
  if (!protocol)
    return EFI_INVALID_PARAMETER;
  if (interface)
    *interface = nullptr;
  const Status status = SmmFault("SmmLocateProtocol", protocol).Run([&] {
    return SmmProtocols().Locate(*protocol, registration, interface);
  });
  Sim().Emit("protocol_locate", [&](Json &e) {
    AddGuidFields(e, *protocol);
    e["status"] = StatusName(status);
    e["where"] = "smm";
  });
  return status;
}

constexpr size_t kSmmConfigurationCapacity = 8;

EFI_STATUS EFIAPI SmmInstallConfigurationTable(CONST EFI_SMM_SYSTEM_TABLE2 *smst,
                                               CONST EFI_GUID *guid, VOID *table, UINTN) {
  if (!smst || !guid)
    return EFI_INVALID_PARAMETER;
  return SmmFault("SmmInstallConfigurationTable", guid).Run([&]() -> Status {
    auto *st = const_cast<EFI_SMM_SYSTEM_TABLE2 *>(smst);
    for (UINTN i = 0; i < st->NumberOfTableEntries; ++i)
      if (SameGuid(st->SmmConfigurationTable[i].VendorGuid, *guid)) {
        st->SmmConfigurationTable[i].VendorTable = table;
        return EFI_SUCCESS;
      }
    if (st->NumberOfTableEntries == kSmmConfigurationCapacity)
      return EFI_OUT_OF_RESOURCES;
    st->SmmConfigurationTable[st->NumberOfTableEntries++] = {*guid, table};
    return EFI_SUCCESS;
  });
}

} // namespace

// The SMST lives in SMRAM, as the SMM core keeps it.
EFI_SMM_SYSTEM_TABLE2 *BuildSmst(Simulator &sim) {
  auto *smst = static_cast<EFI_SMM_SYSTEM_TABLE2 *>(
      sim.memory().Allocate(Space::Smram, sizeof(EFI_SMM_SYSTEM_TABLE2)));
  std::memset(smst, 0, sizeof *smst);
  auto *configuration = static_cast<EFI_CONFIGURATION_TABLE *>(sim.memory().Allocate(
      Space::Smram, kSmmConfigurationCapacity * sizeof(EFI_CONFIGURATION_TABLE)));
  EFI_SMM_SYSTEM_TABLE2 &st = *smst;
  st.Hdr = {SMM_SMST_SIGNATURE, (1u << 16) | 80, sizeof st, 0, 0};
  st.SmmInstallConfigurationTable = SmmInstallConfigurationTable;
  BOARDSIM_UNMODELLED(st.SmmIo.Mem, Read);
  BOARDSIM_UNMODELLED(st.SmmIo.Mem, Write);
  BOARDSIM_UNMODELLED(st.SmmIo.Io, Read);
  BOARDSIM_UNMODELLED(st.SmmIo.Io, Write);
  st.SmmAllocatePool = SmmAllocatePool;
  st.SmmFreePool = SmmFreePool;
  BOARDSIM_UNMODELLED(st, SmmAllocatePages);
  BOARDSIM_UNMODELLED(st, SmmFreePages);
  BOARDSIM_UNMODELLED(st, SmmStartupThisAp);
  st.CurrentlyExecutingCpu = 0;
  st.NumberOfCpus = 1;
  st.NumberOfTableEntries = 0;
  st.SmmConfigurationTable = configuration;
  st.SmmInstallProtocolInterface = SmmInstallProtocolInterface;
  st.SmmUninstallProtocolInterface = SmmUninstallProtocolInterface;
  st.SmmHandleProtocol = SmmHandleProtocol;
  BOARDSIM_UNMODELLED(st, SmmRegisterProtocolNotify);
  BOARDSIM_UNMODELLED(st, SmmLocateHandle);
  st.SmmLocateProtocol = SmmLocateProtocol;
  BOARDSIM_UNMODELLED(st, SmiManage);
  BOARDSIM_UNMODELLED(st, SmiHandlerRegister);
  BOARDSIM_UNMODELLED(st, SmiHandlerUnRegister);
  return smst;
}

} // namespace boardsim
