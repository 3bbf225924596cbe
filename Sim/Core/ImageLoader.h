// Host images of the modules. Each image instance of a run is its own copy of the module's
// shared object, so it has its own module globals, as two dispatches of a driver are two images
// on a real platform. Copies are loaded once per process and reset to their freshly loaded state
// for every run, which keeps repeated boots cheap.
#pragma once
#include <HostBridge.h>

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

struct ImageInstance;

class LoadedImage {
public:
  const std::string &Module() const { return module_; }
  void *Entry() const { return entry_; }
  bool Contains(uintptr_t address) const { return address >= lo_ && address < hi_; }
  uintptr_t Base() const { return lo_; }
  size_t Size() const { return hi_ - lo_; }
  // Puts the module's writable data back as it was right after loading.
  void Reset();
  // True when the module's writable data differs from its freshly loaded state.
  bool DataChanged() const;
  // Where a named global of the module lives (for build-time settings), or nullptr.
  void *Symbol(const char *name) const;

  // The image instance currently using this copy; hardware accesses are reported for it.
  ImageInstance *owner = nullptr;

private:
  friend class ImageLoader;
  struct Range {
    uint8_t *begin;
    size_t size;
  };
  std::string module_;
  void *handle_ = nullptr;
  void *entry_ = nullptr;
  uintptr_t lo_ = 0, hi_ = 0;
  std::vector<Range> writable_;
  std::vector<uint8_t> snapshot_;
};

class ImageLoader {
public:
  // The `copy`-th copy (0-based) of `module` (e.g. "BoardInfoDxe"), reset to its loaded state.
  // Throws std::runtime_error with a user-facing message when the module cannot be loaded.
  static LoadedImage &Acquire(const std::string &module, unsigned copy);
  // Where module shared objects are looked for: $BOARDSIM_MODULE_DIR, else the build's folder.
  static std::string ModuleDirectory();
};

// The bridge every host image is attached to; defined with the machine model.
const HOST_BRIDGE &SimulatorBridge();

} // namespace boardsim
