// A handle database as UEFI 2.10 section 7.3 describes it: handles carry protocol interfaces,
// installations signal the events registered for the protocol, and a registration key lets
// LocateProtocol return the interfaces installed since the registration, one per call. The boot
// services and the SMM core each have one.
#pragma once
#include "Core/Status.h"

#include <Base.h>

#include <memory>
#include <string>
#include <vector>

namespace boardsim {

class Simulator;
class DxeEvents;

class ProtocolDatabase {
public:
  // `where` is "boot" or "smm", as the trace reports lookups; `events` receives the signals of
  // protocol notifications (null where notifications are not modelled).
  ProtocolDatabase(Simulator &sim, const char *where, DxeEvents *events);
  ~ProtocolDatabase();

  Status Install(EFI_HANDLE *handle, const EFI_GUID &guid, void *interface);
  Status Reinstall(EFI_HANDLE handle, const EFI_GUID &guid, void *oldInterface, void *newInterface);
  Status Uninstall(EFI_HANDLE handle, const EFI_GUID &guid, void *interface);
  Status Handle(EFI_HANDLE handle, const EFI_GUID &guid, void **interface);
  Status Locate(const EFI_GUID &guid, void *registration, void **interface);
  // Handles carrying `guid`, in installation order.
  std::vector<EFI_HANDLE> HandlesWith(const EFI_GUID &guid) const;
  Status RegisterNotify(const EFI_GUID &guid, EFI_EVENT event, void **registration);

  const char *Where() const { return where_; }

private:
  // What an EFI_HANDLE points at: its address is the handle.
  struct HandleEntry {};
  struct Interface {
    const HandleEntry *handle;
    EFI_GUID guid;
    void *pointer;
    uint64_t serial; // installation order
  };
  struct Registration {
    EFI_GUID guid;
    EFI_EVENT event;
    uint64_t after; // serial of the last installation the key has returned or skipped
  };
  const HandleEntry *Find(EFI_HANDLE handle) const;
  // The interface of `guid` on `handle`, or interfaces_.end().
  std::vector<Interface>::iterator InterfaceOn(const HandleEntry *handle, const EFI_GUID &guid);
  void Announce(const EFI_GUID &guid, uint64_t serial);
  void TraceInstall(const char *ev, const EFI_GUID &guid);

  Simulator &sim_;
  const char *where_;
  DxeEvents *events_;
  uint64_t serial_ = 0;
  std::vector<std::unique_ptr<HandleEntry>> handles_; // in creation order
  std::vector<Interface> interfaces_;                 // of every handle
  std::vector<std::unique_ptr<Registration>> registrations_;
};

} // namespace boardsim
