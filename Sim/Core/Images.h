// Image instances of one run, and every call the platform makes into module code. A call goes
// through Call(), which knows whose code it enters: the trace reports what that code does for
// its image and phase, a call into an unloaded image or through a null pointer is reported as a
// fault instead of crashing, and a PEI image (which executes in place from flash) that wrote to
// its own data is caught (host images here; the image engine maps firmware images read-only).
#pragma once
#include "Core/HostFaultTrap.h"
#include "Core/ImageAreas.h"
#include "Core/ImageLoader.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace boardsim {

class Simulator;
class ImageEngine;
class GuestModule;

// Where the image engine put a firmware image and its stack in board memory.
struct GuestPlacement {
  const GuestModule *module;
  uint64_t base, size;
  uint64_t stackLo, stackHi;
  bool Contains(uint64_t address) const { return address >= base && address - base < size; }
};

struct ImageInstance {
  std::string name;   // "S3SaveSmm#2"
  std::string module; // "S3SaveSmm"
  ModuleKind kind;
  LoadedImage *loaded = nullptr;       // a host image
  std::optional<GuestPlacement> guest; // or a firmware image run by the image engine
  std::optional<Status> entryStatus;
  bool unloaded = false;
  Phase phase() const;
  bool Contains(uintptr_t address) const;
  void *Entry() const;
  // Where a named global of the module lives (for build-time settings), or nullptr.
  void *Symbol(const char *name) const;
  // Bytes of a pointer in the image's own tables: 4 for an IA32 firmware image.
  unsigned PointerSize() const;
};

// Which kind of image a module is, or nullopt for an unknown module name.
std::optional<ModuleKind> KindOfModule(const std::string &module);

class Images {
public:
  // With an engine, every module runs as its firmware image.
  Images(Simulator &sim, ImageEngine *engine);
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
    if (target && target->guest) {
      // From IA32 code, a result the caller reads as 8 bytes is an EFI_STATUS (UINTN there).
      uint64_t word = CallGuest(*target, reinterpret_cast<uint64_t>(fn), {Word(args)...},
                                std::is_same_v<R, Status>);
      frame.Leave();
      if constexpr (!std::is_void_v<R>)
        return static_cast<R>(word);
      else
        return;
    }
    if constexpr (std::is_void_v<R>) {
      CallHost(target, [&] { fn(args...); });
      frame.Leave();
    } else {
      R result = fallback;
      CallHost(target, [&] { result = fn(args...); });
      frame.Leave();
      return result;
    }
  }
  template <typename F, typename... A> void CallVoid(F fn, A... args) {
    ImageInstance *target = nullptr;
    if (!Enter(reinterpret_cast<const void *>(fn), target))
      return;
    Frame frame(*this, target);
    if (target && target->guest)
      CallGuest(*target, reinterpret_cast<uint64_t>(fn), {Word(args)...}, false);
    else
      CallHost(target, [&] { fn(args...); });
    frame.Leave();
  }

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
  // The next free slot of the kind's image area; throws std::runtime_error (user-facing) when the
  // area is missing or full.
  ImageSlot TakeSlot(ModuleKind kind);
  // An argument as the register or stack slot that carries it.
  template <typename T> static uint64_t Word(T value) {
    if constexpr (std::is_pointer_v<T>)
      return reinterpret_cast<uint64_t>(value);
    else
      return static_cast<uint64_t>(value);
  }
  uint64_t CallGuest(ImageInstance &target, uint64_t code, std::initializer_list<uint64_t> args,
                     bool statusResult);
  // Runs host module code; a processor fault it takes ends the run as crashed.
  template <typename Body> void CallHost(const ImageInstance *target, Body &&body) {
    HostFault fault;
    if (!RunTrapped([](void *b) { (*static_cast<std::remove_reference_t<Body> *>(b))(); }, &body,
                    fault))
      Crash(target, fault);
  }
  [[noreturn]] void Crash(const ImageInstance *target, const HostFault &fault);
  void CheckReadOnly(ImageInstance &image);
  void CheckPoolGuards(const ImageInstance &image);

  Simulator &sim_;
  ImageEngine *engine_;
  unsigned slotsUsed_[3] = {}; // per ModuleKind
  std::vector<std::unique_ptr<ImageInstance>> all_;
  std::vector<ImageInstance *> stack_;
};

} // namespace boardsim
