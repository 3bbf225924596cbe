// The PEI services table a PEIM is given (PI 1.8 volume 1, chapter 5): the PPI services, the
// PEI pool and memory helpers are modelled; the firmware-volume, HOB-production and reset
// services are not used by the board's PEIMs.
#include "Core/Faults.h"
#include "Core/GuidNames.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Pei/PeiCore.h"
#include "Pei/PpiDatabase.h"

#include <cstring>

namespace boardsim {

namespace {

PpiDatabase &PeiPpis() {
  return Sim().pei().ppis();
}

Injected PeiFault(const char *service, const EFI_GUID *target = nullptr) {
  Simulator &sim = Sim();
  return sim.faults().Check(Phase::Pei, service, sim.CurrentImage(), target);
}

EFI_STATUS EFIAPI InstallPpi(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_PPI_DESCRIPTOR *list) {
  return PeiFault("InstallPpi", list ? list->Guid : nullptr).Run([&] {
    return PeiPpis().Install(list);
  });
}

EFI_STATUS EFIAPI NotifyPpi(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_NOTIFY_DESCRIPTOR *list) {
  return PeiFault("NotifyPpi", list ? list->Guid : nullptr).Run([&] {
    return PeiPpis().Notify(list);
  });
}

EFI_STATUS EFIAPI LocatePpi(CONST EFI_PEI_SERVICES **, CONST EFI_GUID *guid, UINTN instance,
                            EFI_PEI_PPI_DESCRIPTOR **descriptor, VOID **ppi) {
  if (!guid)
    return EFI_INVALID_PARAMETER;
  const Status status = PeiFault("LocatePpi", guid).Run([&] {
    return PeiPpis().Locate(*guid, instance, descriptor, ppi);
  });
  Sim().Emit("ppi_locate", [&](Json &e) {
    AddGuidFields(e, *guid);
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI AllocatePool(CONST EFI_PEI_SERVICES **, UINTN size, VOID **buffer) {
  if (!buffer)
    return EFI_INVALID_PARAMETER;
  void *block = nullptr;
  const Status status = PeiFault("AllocatePool").Run([&]() -> Status {
    block = Sim().memory().Allocate(Space::Pei, size);
    return block ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  });
  *buffer = block;
  Sim().Emit("alloc", [&](Json &e) {
    e["space"] = "pei";
    e["size"] = size;
    e["addr"] = reinterpret_cast<uint64_t>(block);
    e["status"] = StatusName(status);
  });
  return status;
}

VOID EFIAPI CopyMem(VOID *destination, VOID *source, UINTN length) {
  std::memmove(destination, source, length);
}

VOID EFIAPI SetMem(VOID *buffer, UINTN size, UINT8 value) {
  std::memset(buffer, value, size);
}

} // namespace

void FillPeiServices(EFI_PEI_SERVICES &ps) {
  ps.Hdr = {0x5652455320494550ULL /* "PEI SERV" */, (1u << 16) | 80, sizeof ps, 0, 0};
  ps.InstallPpi = InstallPpi;
  BOARDSIM_UNMODELLED(ps, ReInstallPpi);
  ps.LocatePpi = LocatePpi;
  ps.NotifyPpi = NotifyPpi;
  BOARDSIM_UNMODELLED(ps, GetBootMode);
  BOARDSIM_UNMODELLED(ps, SetBootMode);
  BOARDSIM_UNMODELLED(ps, GetHobList);
  BOARDSIM_UNMODELLED(ps, CreateHob);
  BOARDSIM_UNMODELLED(ps, FfsFindNextVolume);
  BOARDSIM_UNMODELLED(ps, FfsFindNextFile);
  BOARDSIM_UNMODELLED(ps, FfsFindSectionData);
  BOARDSIM_UNMODELLED(ps, InstallPeiMemory);
  BOARDSIM_UNMODELLED(ps, AllocatePages);
  ps.AllocatePool = AllocatePool;
  ps.CopyMem = CopyMem;
  ps.SetMem = SetMem;
  BOARDSIM_UNMODELLED(ps, ReportStatusCode);
  BOARDSIM_UNMODELLED(ps, ResetSystem);
  BOARDSIM_UNMODELLED(ps, FfsFindFileByName);
  BOARDSIM_UNMODELLED(ps, FfsGetFileInfo);
  BOARDSIM_UNMODELLED(ps, FfsGetVolumeInfo);
  BOARDSIM_UNMODELLED(ps, RegisterForShadow);
  BOARDSIM_UNMODELLED(ps, FindSectionData3);
  BOARDSIM_UNMODELLED(ps, FfsGetFileInfo2);
  BOARDSIM_UNMODELLED(ps, ResetSystem2);
  BOARDSIM_UNMODELLED(ps, FreePages);
}

} // namespace boardsim
