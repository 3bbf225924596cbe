// PCD_PROTOCOL (DXE, SMM) and PCD_PPI (PEI) share EDK II's member list; both front the one PCD
// database of the run. Token-number accessors are modelled; the token-space (Ex), pointer,
// callback and enumeration members are not used by the board's modules.
#pragma once
#include "Core/Faults.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Services/PcdDatabase.h"

#include <Pcd.h>

namespace boardsim {

template <const char *Interface> struct PcdAccess {
  template <typename T> static T EFIAPI Get(UINTN token) {
    return static_cast<T>(Simulator::Current().pcd().Get(token, sizeof(T) * 8));
  }
  template <typename T> static EFI_STATUS EFIAPI Set(UINTN token, T value) {
    Simulator &sim = Simulator::Current();
    std::string member = std::string(Interface) + ".Set" + std::to_string(sizeof(T) * 8);
    // PCD_PROTOCOL is a boot-services protocol: "dxe.PCD_PROTOCOL.SetN" also matches SMM code.
    Injected injected =
        std::string_view(Interface) == "PCD_PROTOCOL"
            ? sim.faults().CheckBootSide(sim.CurrentPhase(), member, sim.CurrentImage())
            : sim.faults().Check(sim.CurrentPhase(), member, sim.CurrentImage());
    return injected.Run([&]() -> Status {
      sim.pcd().Set(token, sizeof(T) * 8, value);
      return EFI_SUCCESS;
    });
  }
};

template <const char *Interface, typename Table> void FillPcdTable(Table &t) {
  using Access = PcdAccess<Interface>;
  BOARDSIM_UNMODELLED(t, SetSku);
  t.Get8 = &Access::template Get<UINT8>;
  t.Get16 = &Access::template Get<UINT16>;
  t.Get32 = &Access::template Get<UINT32>;
  t.Get64 = &Access::template Get<UINT64>;
  BOARDSIM_UNMODELLED(t, GetPtr);
  BOARDSIM_UNMODELLED(t, GetBool);
  BOARDSIM_UNMODELLED(t, GetSize);
  BOARDSIM_UNMODELLED(t, Get8Ex);
  BOARDSIM_UNMODELLED(t, Get16Ex);
  BOARDSIM_UNMODELLED(t, Get32Ex);
  BOARDSIM_UNMODELLED(t, Get64Ex);
  BOARDSIM_UNMODELLED(t, GetPtrEx);
  BOARDSIM_UNMODELLED(t, GetBoolEx);
  BOARDSIM_UNMODELLED(t, GetSizeEx);
  t.Set8 = &Access::template Set<UINT8>;
  t.Set16 = &Access::template Set<UINT16>;
  t.Set32 = &Access::template Set<UINT32>;
  t.Set64 = &Access::template Set<UINT64>;
  BOARDSIM_UNMODELLED(t, SetPtr);
  BOARDSIM_UNMODELLED(t, SetBool);
  BOARDSIM_UNMODELLED(t, Set8Ex);
  BOARDSIM_UNMODELLED(t, Set16Ex);
  BOARDSIM_UNMODELLED(t, Set32Ex);
  BOARDSIM_UNMODELLED(t, Set64Ex);
  BOARDSIM_UNMODELLED(t, SetPtrEx);
  BOARDSIM_UNMODELLED(t, SetBoolEx);
  BOARDSIM_UNMODELLED(t, CallbackOnSet);
  BOARDSIM_UNMODELLED(t, CancelCallback);
  BOARDSIM_UNMODELLED(t, GetNextToken);
  BOARDSIM_UNMODELLED(t, GetNextTokenSpace);
}

} // namespace boardsim
