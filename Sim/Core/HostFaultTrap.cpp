#include "Core/HostFaultTrap.h"

#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <ucontext.h>

namespace boardsim {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
struct sigaction gPrevious[std::size(kSignals)];

// The page-fault error code bit that says the access was a write (Intel SDM vol. 3, 4.7).
constexpr greg_t kPageFaultWrite = 2;

struct Trap {
  sigjmp_buf jump;
  HostFault fault;
  Trap *outer;
};
thread_local Trap *tTrap = nullptr;

// A stack overflow must still find a stack to report it on.
constexpr size_t kAltStackSize = 64 * 1024;
alignas(16) thread_local char tAltStack[kAltStackSize];
thread_local bool tAltStackChecked = false;

void OnSignal(int signal, siginfo_t *info, void *context) {
  Trap *trap = tTrap;
  if (!trap) {
    // Not module code: hand the signal back to its previous owner. The faulting instruction runs
    // again on return and reaches it.
    for (size_t i = 0; i < std::size(kSignals); ++i)
      if (kSignals[i] == signal)
        sigaction(signal, &gPrevious[i], nullptr);
    return;
  }
  const auto &registers = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
  trap->fault.signal = signal;
  trap->fault.code = info->si_code;
  trap->fault.address = reinterpret_cast<uint64_t>(info->si_addr);
  trap->fault.rip = static_cast<uint64_t>(registers[REG_RIP]);
  trap->fault.write = signal == SIGSEGV && (registers[REG_ERR] & kPageFaultWrite) != 0;
  siglongjmp(trap->jump, 1);
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action = {};
    action.sa_sigaction = OnSignal;
    // SA_NODEFER: the jump out of the handler leaves the signal unblocked for the next fault.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
      sigaction(kSignals[i], &action, &gPrevious[i]);
  });
  if (!tAltStackChecked) {
    tAltStackChecked = true;
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
      stack_t ours = {};
      ours.ss_sp = tAltStack;
      ours.ss_size = kAltStackSize;
      sigaltstack(&ours, nullptr);
    }
  }
}

} // namespace

uintptr_t TrappedCallAbove(uintptr_t stackAddress) {
  for (const Trap *trap = tTrap; trap; trap = trap->outer)
    if (reinterpret_cast<uintptr_t>(trap) > stackAddress)
      return reinterpret_cast<uintptr_t>(trap);
  return 0;
}

bool RunTrapped(void (*body)(void *), void *context, HostFault &fault) {
  InstallHandlers();
  Trap trap;
  trap.outer = tTrap;
  if (sigsetjmp(trap.jump, 0) != 0) {
    tTrap = trap.outer;
    fault = trap.fault;
    return false;
  }
  tTrap = &trap;
  try {
    body(context);
  } catch (...) {
    // A run that halts leaves module code by an exception.
    tTrap = trap.outer;
    throw;
  }
  tTrap = trap.outer;
  return true;
}

} // namespace boardsim
