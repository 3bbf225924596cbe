#include "Dxe/PlatformProtocols.h"

#include "Core/Faults.h"
#include "Core/Simulator.h"
#include "Dxe/DxeCore.h"
#include "Services/PcdInterfaces.h"

#include <BoardInfoProtocol.h>

#include <cstring>

namespace boardsim {
namespace {

constexpr char kPcdProtocol[] = "PCD_PROTOCOL";

// The setup item service records each item it is asked to mark.
EFI_STATUS EFIAPI MarkItem(CONST CHAR8 *itemName, UINTN code) {
  Simulator &sim = Simulator::Current();
  Injected injected =
      sim.faults().Check(sim.CurrentPhase(), "SETUP_ITEM_PROTOCOL.MarkItem", sim.CurrentImage());
  const Status status = injected.Run([] { return Status{EFI_SUCCESS}; });
  std::string name;
  if (itemName)
    name.assign(itemName, strnlen(itemName, 256));
  sim.Emit("mark_item", [&](Json &e) {
    e["item_name"] = name;
    e["code"] = static_cast<uint64_t>(code);
    e["status"] = StatusName(status);
  });
  return status;
}

template <typename T> T *PlatformObject(Simulator &sim) {
  return static_cast<T *>(sim.memory().Allocate(Space::Platform, sizeof(T)));
}

} // namespace

void RegisterPlatformProtocols(Simulator &sim, DxeCore &dxe) {
  auto *pcd = PlatformObject<PCD_PROTOCOL>(sim);
  FillPcdTable<kPcdProtocol>(*pcd);
  dxe.ProvideInterface("PCD_PROTOCOL", pcd);

  auto *setupItem = PlatformObject<SETUP_ITEM_PROTOCOL>(sim);
  setupItem->MarkItem = MarkItem;
  dxe.ProvideInterface("SETUP_ITEM_PROTOCOL", setupItem);
}

} // namespace boardsim
