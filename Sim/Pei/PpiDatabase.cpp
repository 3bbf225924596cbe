#include "Pei/PpiDatabase.h"

#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"

namespace boardsim {
namespace {

// Walks a descriptor list up to and including the entry that carries TERMINATE_LIST.
template <typename Descriptor, typename Visit> bool ForEach(Descriptor *list, Visit visit) {
  for (Descriptor *d = list;; ++d) {
    if (!visit(*d))
      return false;
    if (d->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST)
      return true;
  }
}

} // namespace

PpiDatabase::PpiDatabase(Simulator &sim) : sim_(sim) {}

Status PpiDatabase::Install(const EFI_PEI_PPI_DESCRIPTOR *list) {
  if (!list)
    return EFI_INVALID_PARAMETER;
  // Validate the whole list first: an invalid entry installs nothing (PI 1.8 InstallPpi).
  bool valid = ForEach(list, [](const EFI_PEI_PPI_DESCRIPTOR &d) {
    return (d.Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) != 0 && d.Guid != nullptr;
  });
  if (!valid)
    return EFI_INVALID_PARAMETER;
  ForEach(const_cast<EFI_PEI_PPI_DESCRIPTOR *>(list), [&](EFI_PEI_PPI_DESCRIPTOR &d) {
    installed_.push_back({*d.Guid, &d});
    sim_.Emit("ppi_install", [&](Json &e) { AddGuidFields(e, *d.Guid); });
    Installed ppi = installed_.back();
    for (size_t i = 0; i < registrations_.size(); ++i)
      if (!registrations_[i].fired && SameGuid(registrations_[i].guid, ppi.guid))
        Fire(registrations_[i], ppi);
    return true;
  });
  return EFI_SUCCESS;
}

Status PpiDatabase::Notify(const EFI_PEI_NOTIFY_DESCRIPTOR *list) {
  if (!list)
    return EFI_INVALID_PARAMETER;
  bool valid = ForEach(list, [](const EFI_PEI_NOTIFY_DESCRIPTOR &d) {
    return (d.Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES) != 0 && d.Guid && d.Notify;
  });
  if (!valid)
    return EFI_INVALID_PARAMETER;
  ForEach(const_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(list), [&](EFI_PEI_NOTIFY_DESCRIPTOR &d) {
    registrations_.push_back({*d.Guid, &d});
    sim_.Emit("ppi_notify", [&](Json &e) { AddGuidFields(e, *d.Guid); });
    // A callback for a PPI that is already installed runs now, inside NotifyPpi.
    if (d.Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK)
      for (const Installed &ppi : installed_)
        if (SameGuid(ppi.guid, *d.Guid)) {
          Fire(registrations_.back(), ppi);
          break;
        }
    return true;
  });
  return EFI_SUCCESS;
}

void PpiDatabase::Fire(Registration &registration, const Installed &ppi) {
  registration.fired = true;
  EFI_PEI_NOTIFY_DESCRIPTOR *descriptor = registration.descriptor;
  EFI_GUID guid = registration.guid;
  const void *code = reinterpret_cast<const void *>(descriptor->Notify);
  sim_.EmitFor(code, "notify", [&](Json &e) { AddGuidFields(e, guid); });
  Status status = sim_.images().Call(descriptor->Notify, Status(EFI_LOAD_ERROR),
                                     const_cast<EFI_PEI_SERVICES **>(services_), descriptor,
                                     ppi.descriptor->Ppi);
  sim_.EmitFor(code, "notify_return", [&](Json &e) {
    AddGuidFields(e, guid);
    e["status"] = StatusName(status);
  });
}

Status PpiDatabase::Locate(const EFI_GUID &guid, UINTN instance,
                           EFI_PEI_PPI_DESCRIPTOR **descriptor, void **ppi) {
  for (const Installed &entry : installed_) {
    if (!SameGuid(entry.guid, guid))
      continue;
    if (instance-- > 0)
      continue;
    if (descriptor)
      *descriptor = entry.descriptor;
    if (ppi)
      *ppi = entry.descriptor->Ppi;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

} // namespace boardsim
