// Module code in the host engine runs natively in this process, so a processor fault it takes
// (an access outside mapped memory, an undefined instruction, a divide error, a stack overflow)
// would kill the simulator. While a call into module code is trapped, such a signal returns to
// the call instead, which reports it and ends the run as crashed. A signal outside any trapped
// call goes to whoever handled it before (the sanitizer runtime, or the default action).
#pragma once
#include <cstdint>

namespace boardsim {

struct HostFault {
  int signal = 0;       // SIGSEGV, SIGBUS, SIGILL or SIGFPE
  int code = 0;         // si_code
  bool write = false;   // a SIGSEGV taken by a store
  uint64_t address = 0; // the data address of a memory fault
  uint64_t rip = 0;     // the faulting instruction
};

// Runs `body(context)`. Returns false, with `fault` filled in, when the body took a processor
// fault; the frames between this call and the fault are abandoned without unwinding. Calls nest.
bool RunTrapped(void (*body)(void *), void *context, HostFault &fault);

// The frame of the innermost trapped call in progress that lies above `stackAddress` (the stack
// grows down), or 0: stack memory of module code is named relative to the call that entered it.
uintptr_t TrappedCallAbove(uintptr_t stackAddress);

} // namespace boardsim
