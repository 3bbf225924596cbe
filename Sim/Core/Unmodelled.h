// Table members the modules have no business calling: the call is reported as a fault (so a
// test sees it) and answers EFI_UNSUPPORTED, the status a firmware gives for a missing service.
#pragma once
#include "Core/Simulator.h"

#include <Base.h>

#include <type_traits>

namespace boardsim {

template <typename R> R Answer() {
  if constexpr (std::is_pointer_v<R>)
    return nullptr;
  else if constexpr (!std::is_void_v<R>)
    return static_cast<R>(EFI_UNSUPPORTED);
}

template <typename Fn, const char *Name> struct Unmodelled;

template <typename R, typename... A, const char *Name> struct Unmodelled<R(EFIAPI *)(A...), Name> {
  static R EFIAPI Call(A...) {
    Simulator::Current().Fault(std::string("service not modelled: ") + Name);
    return Answer<R>();
  }
};

template <typename R, typename... A, const char *Name>
struct Unmodelled<R(EFIAPI *)(A..., ...), Name> {
  static R EFIAPI Call(A..., ...) {
    Simulator::Current().Fault(std::string("service not modelled: ") + Name);
    return Answer<R>();
  }
};

} // namespace boardsim

// Fills `table.Member` with the unmodelled answer.
#define BOARDSIM_UNMODELLED(table, Member)                                                         \
  do {                                                                                             \
    static constexpr char kName_##Member[] = #Member;                                              \
    (table).Member = &::boardsim::Unmodelled<decltype((table).Member), kName_##Member>::Call;      \
  } while (0)
