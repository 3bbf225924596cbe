// Events and task priority levels as UEFI 2.10 section 7.1 describes them: notify functions run
// when their event is signalled and the current TPL is below theirs, highest TPL first; event
// groups signal together; an event may close itself from inside its own notify function.
#pragma once
#include "Core/Status.h"

#include <Uefi.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace boardsim {

class Simulator;

class DxeEvents {
public:
  explicit DxeEvents(Simulator &sim);
  ~DxeEvents();

  Status Create(uint32_t type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, void *context,
                const EFI_GUID *group, EFI_EVENT *event);
  Status Signal(EFI_EVENT event);
  Status Close(EFI_EVENT event);
  // Signals every open event of the group, as if one of them had been signalled.
  void SignalGroup(const EFI_GUID &group);

  EFI_TPL Raise(EFI_TPL tpl);
  void Restore(EFI_TPL tpl);
  EFI_TPL Current() const { return tpl_; }
  uint64_t IdOf(EFI_EVENT event) const;

private:
  struct Event {
    uint64_t id;
    uint32_t type;
    EFI_TPL tpl;
    EFI_EVENT_NOTIFY notify;
    void *context;
    std::optional<EFI_GUID> group;
    bool pending = false;
    bool closed = false;
  };
  Event *Find(EFI_EVENT event) const;
  void Queue(Event &event);
  void DispatchPending();

  Simulator &sim_;
  EFI_TPL tpl_ = TPL_APPLICATION;
  uint64_t nextId_ = 1;
  // Closed events stay allocated: a handle must not be reused within a run.
  std::vector<std::unique_ptr<Event>> events_;
  std::deque<Event *> queue_;
};

} // namespace boardsim
