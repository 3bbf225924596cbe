// Host images of the modules. boardsim loads each image instance of a run itself: the module's
// shared object is placed in board memory at the address of the instance's slot
// (Core/ImageAreas.h), relocated, protected page by page and initialised, as a platform's loader
// would place the firmware image there; so an SMM driver's code and data lie in SMRAM, as on a
// board. Every instance has its own module globals. A placed image stays in board memory from run
// to run and gets its data reset to the freshly loaded state, which keeps repeated boots cheap; it
// is placed again when its slot moved or something else was put there.
#pragma once
#include <HostBridge.h>

#include "Core/HostModuleFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

struct ImageInstance;
class Memory;

class LoadedImage {
public:
  const std::string &Module() const { return module_; }
  void *Entry() const { return entry_; }
  bool Contains(uintptr_t address) const { return address - base_ < file_->Span(); }
  uintptr_t Base() const { return base_; }
  size_t Size() const { return file_->Span(); }
  // Puts the module's writable data back as it was right after loading.
  void Reset();
  // True when the module's writable data differs from its freshly loaded state.
  bool DataChanged() const;
  // Where a named global of the module lives (for build-time settings), or nullptr.
  void *Symbol(const char *name) const;
  // The demangled name of the module function whose code holds `address`, or empty.
  std::string FunctionAt(uint64_t address) const;

  // The image instance currently using this copy; hardware accesses are reported for it.
  ImageInstance *owner = nullptr;

private:
  friend class ImageLoader;
  void Place(Memory &memory, uint64_t base);
  void Evict();

  std::string module_;
  const HostModuleFile *file_ = nullptr;
  uintptr_t base_ = 0;
  bool placed_ = false;
  void *entry_ = nullptr;
  std::vector<uint8_t> snapshot_;
};

class ImageLoader {
public:
  // The `copy`-th copy (0-based) of `module` (e.g. "BoardInfoDxe"), placed at `base` in the kept
  // memory of `memory` and reset to its loaded state. Throws std::runtime_error with a
  // user-facing message when the module cannot be loaded.
  static LoadedImage &Acquire(const std::string &module, unsigned copy, Memory &memory,
                              uint64_t base);
  // Where module shared objects are looked for: $BOARDSIM_MODULE_DIR, else the build's folder.
  static std::string ModuleDirectory();
};

// The bridge every host image is attached to; defined with the machine model.
const HOST_BRIDGE &SimulatorBridge();

} // namespace boardsim
