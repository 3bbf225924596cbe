#include "Dxe/ProtocolDatabase.h"

#include "Core/GuidNames.h"
#include "Core/Simulator.h"
#include "Dxe/DxeEvents.h"

#include <algorithm>

namespace boardsim {

// Room for what a boot installs, so that installations rarely move the lists.
ProtocolDatabase::ProtocolDatabase(Simulator &sim, const char *where, DxeEvents *events)
    : sim_(sim), where_(where), events_(events) {
  handles_.reserve(16);
  interfaces_.reserve(16);
}

ProtocolDatabase::~ProtocolDatabase() = default;

const ProtocolDatabase::HandleEntry *ProtocolDatabase::Find(EFI_HANDLE handle) const {
  for (const auto &entry : handles_)
    if (entry.get() == handle)
      return entry.get();
  return nullptr;
}

std::vector<ProtocolDatabase::Interface>::iterator
ProtocolDatabase::InterfaceOn(const HandleEntry *handle, const EFI_GUID &guid) {
  return std::find_if(interfaces_.begin(), interfaces_.end(), [&](const Interface &i) {
    return i.handle == handle && SameGuid(i.guid, guid);
  });
}

void ProtocolDatabase::TraceInstall(const char *ev, const EFI_GUID &guid) {
  sim_.Emit(ev, [&](Json &e) { AddGuidFields(e, guid); });
}

Status ProtocolDatabase::Install(EFI_HANDLE *handle, const EFI_GUID &guid, void *interface) {
  if (!handle)
    return EFI_INVALID_PARAMETER;
  const HandleEntry *entry = nullptr;
  if (*handle) {
    entry = Find(*handle);
    if (!entry || InterfaceOn(entry, guid) != interfaces_.end())
      return EFI_INVALID_PARAMETER;
  } else {
    HandleEntry *created = handles_.emplace_back(std::make_unique<HandleEntry>()).get();
    *handle = created;
    entry = created;
  }
  interfaces_.push_back({entry, guid, interface, ++serial_});
  TraceInstall("protocol_install", guid);
  Announce(guid, serial_);
  return EFI_SUCCESS;
}

Status ProtocolDatabase::Reinstall(EFI_HANDLE handle, const EFI_GUID &guid, void *oldInterface,
                                   void *newInterface) {
  const HandleEntry *entry = Find(handle);
  if (!entry)
    return EFI_INVALID_PARAMETER;
  for (Interface &i : interfaces_) {
    if (i.handle != entry || !SameGuid(i.guid, guid) || i.pointer != oldInterface)
      continue;
    i.pointer = newInterface;
    i.serial = ++serial_;
    TraceInstall("protocol_uninstall", guid);
    TraceInstall("protocol_install", guid);
    Announce(guid, serial_);
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

Status ProtocolDatabase::Uninstall(EFI_HANDLE handle, const EFI_GUID &guid, void *interface) {
  const HandleEntry *entry = Find(handle);
  if (!entry)
    return EFI_INVALID_PARAMETER;
  auto it = std::find_if(interfaces_.begin(), interfaces_.end(), [&](const Interface &i) {
    return i.handle == entry && SameGuid(i.guid, guid) && i.pointer == interface;
  });
  if (it == interfaces_.end())
    return EFI_NOT_FOUND;
  interfaces_.erase(it);
  TraceInstall("protocol_uninstall", guid);
  return EFI_SUCCESS;
}

Status ProtocolDatabase::Handle(EFI_HANDLE handle, const EFI_GUID &guid, void **interface) {
  if (!interface)
    return EFI_INVALID_PARAMETER;
  *interface = nullptr;
  const HandleEntry *entry = Find(handle);
  if (!entry)
    return EFI_UNSUPPORTED;
  auto found = InterfaceOn(entry, guid);
  if (found == interfaces_.end())
    return EFI_UNSUPPORTED;
  *interface = found->pointer;
  return EFI_SUCCESS;
}

// Without a registration key: the first interface in installation order. With one: the next
// interface installed after the key's position, which then moves past it.
Status ProtocolDatabase::Locate(const EFI_GUID &guid, void *registration, void **interface) {
  if (!interface)
    return EFI_INVALID_PARAMETER;
  *interface = nullptr;
  Registration *key = nullptr;
  if (registration) {
    for (auto &r : registrations_)
      if (r.get() == registration)
        key = r.get();
    if (!key)
      return EFI_NOT_FOUND;
  }
  const Interface *best = nullptr;
  for (const Interface &i : interfaces_) {
    if (!SameGuid(i.guid, guid) || (key && i.serial <= key->after))
      continue;
    if (!best || i.serial < best->serial)
      best = &i;
  }
  if (!best)
    return EFI_NOT_FOUND;
  if (key)
    key->after = best->serial;
  *interface = best->pointer;
  return EFI_SUCCESS;
}

std::vector<EFI_HANDLE> ProtocolDatabase::HandlesWith(const EFI_GUID &guid) const {
  std::vector<EFI_HANDLE> result;
  for (const auto &entry : handles_)
    for (const Interface &i : interfaces_)
      if (i.handle == entry.get() && SameGuid(i.guid, guid))
        result.push_back(entry.get());
  return result;
}

Status ProtocolDatabase::RegisterNotify(const EFI_GUID &guid, EFI_EVENT event,
                                        void **registration) {
  if (!registration || !event)
    return EFI_INVALID_PARAMETER;
  registrations_.push_back(std::make_unique<Registration>(Registration{guid, event, serial_}));
  *registration = registrations_.back().get();
  sim_.Emit("protocol_notify", [&](Json &e) { AddGuidFields(e, guid); });
  return EFI_SUCCESS;
}

void ProtocolDatabase::Announce(const EFI_GUID &guid, uint64_t) {
  if (!events_)
    return;
  // Copy: a notify function may register further notifications.
  std::vector<EFI_EVENT> toSignal;
  for (const auto &r : registrations_)
    if (SameGuid(r->guid, guid))
      toSignal.push_back(r->event);
  for (EFI_EVENT event : toSignal)
    events_->Signal(event);
}

} // namespace boardsim
