#include "Dxe/DxeEvents.h"

#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"

#include <algorithm>

namespace boardsim {

DxeEvents::DxeEvents(Simulator &sim) : sim_(sim) {}
DxeEvents::~DxeEvents() = default;

DxeEvents::Event *DxeEvents::Find(EFI_EVENT handle) const {
  for (const auto &event : events_)
    if (event.get() == handle && !event->closed)
      return event.get();
  return nullptr;
}

uint64_t DxeEvents::IdOf(EFI_EVENT handle) const {
  for (const auto &event : events_)
    if (event.get() == handle)
      return event->id;
  return 0;
}

Status DxeEvents::Create(uint32_t type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, void *context,
                         const EFI_GUID *group, EFI_EVENT *handle) {
  bool notifies = (type & (EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT)) != 0;
  if (!handle || (notifies && (!notify || tpl <= TPL_APPLICATION || tpl > TPL_HIGH_LEVEL)))
    return EFI_INVALID_PARAMETER;
  auto event = std::make_unique<Event>(Event{nextId_++, type, tpl, notify, context, {}});
  if (group)
    event->group = *group;
  *handle = event.get();
  events_.push_back(std::move(event));
  return EFI_SUCCESS;
}

Status DxeEvents::Signal(EFI_EVENT handle) {
  Event *event = Find(handle);
  if (!event)
    return EFI_INVALID_PARAMETER;
  if (event->group) {
    SignalGroup(*event->group);
    return EFI_SUCCESS;
  }
  Queue(*event);
  DispatchPending();
  return EFI_SUCCESS;
}

void DxeEvents::SignalGroup(const EFI_GUID &group) {
  std::vector<Event *> members;
  for (const auto &event : events_)
    if (!event->closed && event->group && SameGuid(*event->group, group))
      members.push_back(event.get());
  for (Event *event : members)
    Queue(*event);
  DispatchPending();
}

void DxeEvents::Queue(Event &event) {
  sim_.Emit("event_signal", [&](Json &e) { e["event"] = event.id; });
  if (!(event.type & EVT_NOTIFY_SIGNAL) || event.pending)
    return;
  event.pending = true;
  queue_.push_back(&event);
}

// Runs queued notify functions whose TPL is above the current one, highest first.
void DxeEvents::DispatchPending() {
  for (;;) {
    auto best = queue_.end();
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
      if ((*it)->tpl > tpl_ && (best == queue_.end() || (*it)->tpl > (*best)->tpl))
        best = it;
    if (best == queue_.end())
      return;
    Event *event = *best;
    queue_.erase(best);
    event->pending = false;
    if (event->closed)
      continue;
    EFI_TPL saved = tpl_;
    tpl_ = event->tpl;
    sim_.EmitFor(reinterpret_cast<const void *>(event->notify), "notify",
                 [&](Json &e) { e["event"] = event->id; });
    // The notify function runs as the code of the image that owns it.
    sim_.images().CallVoid(event->notify, static_cast<EFI_EVENT>(event), event->context);
    tpl_ = saved;
  }
}

Status DxeEvents::Close(EFI_EVENT handle) {
  Event *event = Find(handle);
  if (!event)
    return EFI_INVALID_PARAMETER;
  event->closed = true;
  queue_.erase(std::remove(queue_.begin(), queue_.end(), event), queue_.end());
  sim_.Emit("event_close", [&](Json &e) { e["event"] = event->id; });
  return EFI_SUCCESS;
}

EFI_TPL DxeEvents::Raise(EFI_TPL tpl) {
  EFI_TPL old = tpl_;
  if (tpl > tpl_)
    tpl_ = tpl;
  return old;
}

void DxeEvents::Restore(EFI_TPL tpl) {
  tpl_ = tpl;
  DispatchPending();
}

} // namespace boardsim
