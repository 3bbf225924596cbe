// The Unicorn processors of a thread, one x64 and one IA32 (32-bit protected mode, flat
// segments), each kept alive from run to run so that translated code is reused: board memory is
// mapped at the addresses the simulator uses and the device window below 4 GiB reaches the
// machine model. The simulator's own service functions are reachable from x64 image code (a page
// of RET instructions at their addresses, with a hook that makes the call); 32-bit image code
// reaches them through a page of RET instructions below 4 GiB whose calls `thunks` carries out.
#pragma once
#include "Engine/CodePages.h"
#include "Engine/GuestModule.h"

#include <unicorn/unicorn.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

struct DeviceWindow;

// Unicorn register ids by role, at one processor's width.
struct RegisterSet {
  int ip, sp, ax, bx, cx, dx, si;
};

// What stopped the processor, when it was not the end of the called function.
struct GuestStop {
  enum class Kind { None, Unmapped, ReadOnly, StepBudget, Interrupt } kind = Kind::None;
  uc_mem_type access = UC_MEM_READ_UNMAPPED;
  uint64_t address = 0;
  uint32_t interrupt = 0;
  uint64_t rip = 0; // the faulting instruction (RIP after the stop may name its block only)
};

// Calls one of the simulator's EFIAPI functions at `address` with these argument words.
uint64_t CallHostService(uint64_t address, const uint64_t (&args)[12]);

class Emulator {
public:
  // Executed basic blocks after which a call into image code is a fault (an endless loop).
  static constexpr uint64_t kStepBudget = 20'000'000;

  // 32-bit code calls the simulator at kThunkBase + index (one RET per index).
  static constexpr uint64_t kThunkBase = 0xBFFFE000;
  static constexpr uint32_t kThunkCount = 4096;

  // The thread's processor for `bits`-bit code (64 or 32).
  static Emulator &Get(unsigned bits = 64);
  // Whether Unicorn reaches the engine's own page-collection functions (Emulator.cpp): stores
  // of image code then cost no allocations.
  static bool SkipsPageCollections();
  ~Emulator();
  Emulator(const Emulator &) = delete;
  Emulator &operator=(const Emulator &) = delete;

  uc_engine *uc() const { return uc_; }
  unsigned Bits() const { return bits_; }
  // Where a called function returns to: reaching it ends the emulation.
  uint64_t ReturnAddress() const { return returnAddress_; }
  // Registers by their role, at this processor's width (RAX or EAX, ...).
  const RegisterSet &Regs() const { return *regs_; }
  uint64_t Ip() const;
  uint64_t Sp() const;
  // Executes from `begin` until the code returns to ReturnAddress() or a hook stops it.
  uc_err Start(uint64_t begin);
  // uc_mem_read, straight from board memory where the guest address is this process's.
  uc_err Read(uint64_t address, void *bytes, size_t size) const;

  // Maps [begin, begin + size) of this process at the same guest address, leaving out the
  // page-aligned `holes` (guard pages) and mapping the page-aligned `readOnly` ranges for
  // reading and execution only. Done once per region.
  using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
  void MapRegion(uint64_t begin, uint64_t size, const Ranges &holes, const Ranges &readOnly = {});
  // Makes `module`'s code at `base` current: translations and instruction hooks of whatever
  // was there before are dropped. Cheap when the same module was there last time.
  void PlaceCode(uint64_t base, uint64_t size, const GuestModule *module);
  // Device memory at [base, base + size): reads and writes reach the machine model.
  void MapDeviceWindow(uint64_t base, uint64_t size);

  // Set by a hook, read after the emulation stops.
  GuestStop stop;
  std::exception_ptr pending;
  uint64_t blocks = 0;
  // 32-bit processor: carries out a call of image code to kThunkBase + index.
  std::function<void(uint32_t index)> thunks;

  // Runs `body` inside a hook: anything it throws stops the processor and is rethrown when the
  // emulation has returned.
  template <typename Body> void Guarded(Body &&body) {
    try {
      body();
    } catch (...) {
      pending = std::current_exception();
      uc_emu_stop(uc_);
    }
  }

private:
  explicit Emulator(unsigned bits);
  void MapHostText();
  void MapThunkPage();

  struct Placement {
    const GuestModule *module = nullptr;
    uint64_t size = 0;
    std::vector<uc_hook> hooks;
  };
  uc_engine *uc_ = nullptr;
  std::unique_ptr<CodePages> code_;
  unsigned bits_;
  uint64_t returnAddress_;
  const RegisterSet *regs_;
  // Board memory regions by start: their size and the pieces mapped around the holes.
  struct MappedRegion {
    uint64_t size;
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
  };
  std::map<uint64_t, MappedRegion> regions_;
  std::map<uint64_t, Placement> placements_;
  std::vector<std::pair<void *, size_t>> hostTextPages_;
  std::map<uint64_t, std::unique_ptr<DeviceWindow>> deviceWindows_;
};

} // namespace boardsim
