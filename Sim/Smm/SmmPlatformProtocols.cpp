// The SMM platform protocols: EFI_SMM_BASE2_PROTOCOL, EFI_SMM_ACCESS2_PROTOCOL and
// EFI_SMM_COMMUNICATION_PROTOCOL in the boot-services database, and the Sx and power-button
// SMI dispatch protocols in the SMM database (PI 1.8 volume 4).
#include "Board/SmramMap.h"
#include "Core/Faults.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Dxe/DxeCore.h"
#include "Smm/SmmState.h"

#include <Guids.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace boardsim {
namespace {

// Members of the boot-services SMM protocols are named "dxe.NAME.Member" in board files; a call
// from SMM code also matches "smm.NAME.Member".
Injected MemberFault(const char *member) {
  Simulator &sim = Sim();
  return sim.faults().CheckBootSide(sim.CurrentPhase(), member, sim.CurrentImage());
}

EFI_STATUS EFIAPI InSmm(CONST EFI_SMM_BASE2_PROTOCOL *, BOOLEAN *inSmram) {
  return MemberFault("EFI_SMM_BASE2_PROTOCOL.InSmm").Run([&]() -> Status {
    if (!inSmram)
      return EFI_INVALID_PARAMETER;
    *inSmram = Sim().board().smm.in_smm;
    return EFI_SUCCESS;
  });
}

EFI_STATUS EFIAPI GetSmstLocation(CONST EFI_SMM_BASE2_PROTOCOL *, EFI_SMM_SYSTEM_TABLE2 **smst) {
  return MemberFault("EFI_SMM_BASE2_PROTOCOL.GetSmstLocation").Run([&]() -> Status {
    if (!smst)
      return EFI_INVALID_PARAMETER;
    // Outside SMM there is no SMST to hand out.
    if (!Sim().board().smm.in_smm)
      return EFI_UNSUPPORTED;
    *smst = Sim().smm().state().smst;
    return EFI_SUCCESS;
  });
}

// The SMRAM map (PI 1.8 volume 4, GetCapabilities): the board's descriptors, and nothing else.
// The SMM pool allocates from the first SMRAM range, and the SMM images lie in it.
EFI_STATUS EFIAPI GetCapabilities(CONST EFI_SMM_ACCESS2_PROTOCOL *, UINTN *mapSize,
                                  EFI_SMRAM_DESCRIPTOR *map) {
  const std::vector<SmramDescriptor> ranges = SmramMap(Sim().board().smm);
  const Status status =
      MemberFault("EFI_SMM_ACCESS2_PROTOCOL.GetCapabilities").Run([&]() -> Status {
        if (!mapSize)
          return EFI_INVALID_PARAMETER;
        constexpr uint64_t kState =
            EFI_SMRAM_CLOSED | EFI_SMRAM_LOCKED | EFI_CACHEABLE | EFI_ALLOCATED;
        const UINTN needed = ranges.size() * sizeof(EFI_SMRAM_DESCRIPTOR);
        if (*mapSize < needed || !map) {
          *mapSize = needed;
          return EFI_BUFFER_TOO_SMALL;
        }
        for (const SmramDescriptor &range : ranges)
          *map++ = {range.base, range.base, range.size, kState};
        *mapSize = needed;
        return EFI_SUCCESS;
      });
  Sim().Emit("smram_map", [&](Json &e) {
    e["size"] = mapSize ? Json(*mapSize) : Json(nullptr);
    e["status"] = StatusName(status);
    Json written = nullptr;
    if (status == EFI_SUCCESS) {
      written = Json::array();
      for (const SmramDescriptor &range : ranges)
        written.push_back({{"base", range.base}, {"size", range.size}});
    }
    e["ranges"] = std::move(written);
  });
  return status;
}

EFI_STATUS EFIAPI Communicate(CONST EFI_SMM_COMMUNICATION_PROTOCOL *, VOID *buffer, UINTN *size) {
  return MemberFault("EFI_SMM_COMMUNICATION_PROTOCOL.Communicate").Run([&] {
    uint64_t bytes = size ? *size : 0;
    const Status status = Sim().smm().Communicate(buffer, size ? &bytes : nullptr);
    if (size)
      *size = bytes;
    return status;
  });
}

EFI_STATUS Register(const char *source, const char *member, EFI_SMM_HANDLER_ENTRY_POINT2 handler,
                    uint32_t type, uint32_t phase, EFI_HANDLE *dispatchHandle, bool hasType) {
  const Status status = MemberFault(member).Run([&]() -> Status {
    if (!handler || !dispatchHandle)
      return EFI_INVALID_PARAMETER;
    auto &handlers = Sim().smm().state().handlers;
    handlers.push_back({source, handler, type, phase});
    *dispatchHandle = reinterpret_cast<EFI_HANDLE>(handlers.size());
    return EFI_SUCCESS;
  });
  Sim().Emit("smi_register", [&](Json &e) {
    e["source"] = source;
    e["type"] = hasType ? Json(type) : Json(nullptr);
    e["phase"] = phase;
    e["status"] = StatusName(status);
  });
  return status;
}

EFI_STATUS EFIAPI SxRegister(CONST EFI_SMM_SX_DISPATCH2_PROTOCOL *,
                             EFI_SMM_HANDLER_ENTRY_POINT2 handler,
                             CONST EFI_SMM_SX_REGISTER_CONTEXT *context, EFI_HANDLE *handle) {
  if (!context)
    return EFI_INVALID_PARAMETER;
  return Register("sx", "EFI_SMM_SX_DISPATCH2_PROTOCOL.Register", handler, context->Type,
                  context->Phase, handle, true);
}

EFI_STATUS EFIAPI PowerButtonRegister(CONST EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL *,
                                      EFI_SMM_HANDLER_ENTRY_POINT2 handler,
                                      CONST EFI_SMM_POWER_BUTTON_REGISTER_CONTEXT *context,
                                      EFI_HANDLE *handle) {
  if (!context)
    return EFI_INVALID_PARAMETER;
  return Register("power_button", "EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL.Register", handler, 0,
                  context->Phase, handle, false);
}

template <typename T> T *Make(Simulator &sim, Space space = Space::Platform) {
  auto *object = static_cast<T *>(sim.memory().Allocate(space, sizeof(T)));
  std::memset(object, 0, sizeof(T));
  return object;
}

} // namespace

void ProvideSmmPlatformProtocols(Simulator &sim) {
  DxeCore &dxe = sim.dxe();
  auto *base = Make<EFI_SMM_BASE2_PROTOCOL>(sim);
  base->InSmm = InSmm;
  base->GetSmstLocation = GetSmstLocation;
  dxe.ProvideInterface("EFI_SMM_BASE2_PROTOCOL", base);

  auto *access = Make<EFI_SMM_ACCESS2_PROTOCOL>(sim);
  BOARDSIM_UNMODELLED(*access, Open);
  BOARDSIM_UNMODELLED(*access, Close);
  BOARDSIM_UNMODELLED(*access, Lock);
  access->GetCapabilities = GetCapabilities;
  access->LockState = TRUE;
  dxe.ProvideInterface("EFI_SMM_ACCESS2_PROTOCOL", access);

  auto *communication = Make<EFI_SMM_COMMUNICATION_PROTOCOL>(sim);
  communication->Communicate = Communicate;
  dxe.ProvideInterface("EFI_SMM_COMMUNICATION_PROTOCOL", communication);

  const SmmConfig &smm = sim.board().smm;
  ProtocolDatabase &protocols = sim.smm().protocols();
  if (smm.sx_dispatch) {
    auto *sx = Make<EFI_SMM_SX_DISPATCH2_PROTOCOL>(sim, Space::Smram);
    sx->Register = SxRegister;
    BOARDSIM_UNMODELLED(*sx, UnRegister);
    EFI_HANDLE handle = nullptr;
    protocols.Install(&handle, EFI_SMM_SX_DISPATCH2_PROTOCOL_GUID, sx);
  }
  if (smm.power_button_dispatch) {
    auto *button = Make<EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL>(sim, Space::Smram);
    button->Register = PowerButtonRegister;
    BOARDSIM_UNMODELLED(*button, UnRegister);
    EFI_HANDLE handle = nullptr;
    protocols.Install(&handle, EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL_GUID, button);
  }
}

} // namespace boardsim
