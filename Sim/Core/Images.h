// Image instances of one run, and every call the platform makes into module code. A call goes
// through Call(), which knows whose code it enters: the trace reports what that code does for
// its image and phase, a call into an unloaded image or through a null pointer is reported as a
// fault instead of crashing, and a PEI image (which executes in place from flash) that wrote to
// its own data is caught.
#pragma once
#include "Core/ImageLoader.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace boardsim {

class Simulator;

enum class ModuleKind { Pei, Dxe, Smm };

struct ImageInstance {
  std::string name;   // "S3SaveSmm#2"
  std::string module; // "S3SaveSmm"
  ModuleKind kind;
  LoadedImage *loaded;
  std::optional<Status> entryStatus;
  bool unloaded = false;
  Phase phase() const;
};

// Which kind of image a module is, or nullopt for an unknown module name.
std::optional<ModuleKind> KindOfModule(const std::string &module);

class Images {
public:
  explicit Images(Simulator &sim);
  ~Images();

  // A new instance of `module`, loaded and reset, not yet started.
  ImageInstance &Load(const std::string &module);
  // Marks an image unloaded, as the DXE core does when an entry point returns an error.
  void Unload(ImageInstance &image);

  ImageInstance *OwnerOf(const void *code) const;
  ImageInstance *Running() const { return stack_.empty() ? nullptr : stack_.back(); }
  const std::vector<std::unique_ptr<ImageInstance>> &All() const { return all_; }

  // Calls `fn(args...)` in module code. When the call cannot be made safely (null pointer,
  // unloaded image) it is reported as a fault and `fallback` is returned instead.
  template <typename R, typename F, typename... A> R Call(F fn, R fallback, A... args) {
    ImageInstance *target = nullptr;
    if (!Enter(reinterpret_cast<const void *>(fn), target))
      return fallback;
    Frame frame(*this, target);
    if constexpr (std::is_void_v<R>) {
      fn(args...);
      frame.Leave();
    } else {
      R result = fn(args...);
      frame.Leave();
      return result;
    }
  }
  template <typename F, typename... A> void CallVoid(F fn, A... args) {
    ImageInstance *target = nullptr;
    if (!Enter(reinterpret_cast<const void *>(fn), target))
      return;
    Frame frame(*this, target);
    fn(args...);
    frame.Leave();
  }

  // Where the SMM images still loaded lie: on a board they are in SMRAM, so the SMRAM map reports
  // these ranges too (host images lie wherever the process loaded them).
  struct Range {
    uint64_t base;
    uint64_t size;
  };
  std::vector<Range> SmmImageRanges() const;

  // images: [{image, status, unloaded}]
  Json Final() const;

private:
  class Frame {
  public:
    Frame(Images &images, ImageInstance *target);
    ~Frame();
    void Leave();

  private:
    Images &images_;
    ImageInstance *target_;
    bool pushed_;
  };
  bool Enter(const void *code, ImageInstance *&target);
  void CheckReadOnly(ImageInstance &image);

  Simulator &sim_;
  std::vector<std::unique_ptr<ImageInstance>> all_;
  std::vector<ImageInstance *> stack_;
};

} // namespace boardsim
