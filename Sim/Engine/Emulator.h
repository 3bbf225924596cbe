// The one Unicorn processor of a thread, kept alive from run to run so that translated code is
// reused: board memory is mapped at the addresses the simulator uses, the device window below
// 4 GiB reaches the machine model, and the simulator's own service functions are reachable from
// image code (a page of RET instructions at their addresses, with a hook that makes the call).
#pragma once
#include "Engine/GuestModule.h"

#include <unicorn/unicorn.h>

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

struct DeviceWindow;

// What stopped the processor, when it was not the end of the called function.
struct GuestStop {
  enum class Kind { None, Unmapped, StepBudget, Interrupt } kind = Kind::None;
  uc_mem_type access = UC_MEM_READ_UNMAPPED;
  uint64_t address = 0;
  uint32_t interrupt = 0;
  uint64_t rip = 0; // the faulting instruction (RIP after the stop may name its block only)
};

class Emulator {
public:
  // Executed basic blocks after which a call into image code is a fault (an endless loop).
  static constexpr uint64_t kStepBudget = 20'000'000;

  static Emulator &Get();
  ~Emulator();
  Emulator(const Emulator &) = delete;
  Emulator &operator=(const Emulator &) = delete;

  uc_engine *uc() const { return uc_; }
  // Where a called function returns to: reaching it ends the emulation.
  static constexpr uint64_t kReturnAddress = 0x00007FFFFFFF0000;

  // Maps [begin, begin + size) of this process at the same guest address, leaving out the
  // page-aligned `holes` (guard pages). Done once per region.
  void MapRegion(uint64_t begin, uint64_t size,
                 const std::vector<std::pair<uint64_t, uint64_t>> &holes);
  // Makes `module`'s code at `base` current: translations and instruction hooks of whatever
  // was there before are dropped. Cheap when the same module was there last time.
  void PlaceCode(uint64_t base, uint64_t size, const GuestModule *module);
  // Device memory at [base, base + size): reads and writes reach the machine model.
  void MapDeviceWindow(uint64_t base, uint64_t size);

  // Set by a hook, read after the emulation stops.
  GuestStop stop;
  std::exception_ptr pending;
  uint64_t blocks = 0;

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
  Emulator();
  void MapHostText();

  struct Placement {
    const GuestModule *module = nullptr;
    uint64_t size = 0;
    std::vector<uc_hook> hooks;
  };
  uc_engine *uc_ = nullptr;
  std::map<uint64_t, uint64_t> regions_;
  std::map<uint64_t, Placement> placements_;
  std::vector<std::pair<void *, size_t>> hostTextPages_;
  std::map<uint64_t, std::unique_ptr<DeviceWindow>> deviceWindows_;
};

} // namespace boardsim
