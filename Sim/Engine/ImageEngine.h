// The image engine of one run: the firmware images themselves loaded into board memory as a PI
// loader would and executed instruction by instruction on the thread's emulators, against the
// same services and machine as host images. The x64 images (BoardInfoDxe.efi, S3SaveSmm.efi) run
// on the x64 processor; the IA32 PEI image (BoardInfoPei.efi) executes in place, read-only, on
// the IA32 processor, which meets the PEI world in IA32 layout (PeiWorld32). A processor fault
// in image code ends the run as a crash, with a `fault` event saying where.
#pragma once
#include "Core/Images.h"
#include "Core/Memory.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace boardsim {

class Simulator;
class Emulator;
class PeiWorld32;

class ImageEngine {
public:
  // Maps board memory into the processors, with the image areas' guard pages left out, and takes
  // the PEI tables off the top of platform memory. Throws std::runtime_error (user-facing) when
  // they do not fit.
  ImageEngine(Simulator &sim, std::string imageDirectory);
  ~ImageEngine();

  // Loads the module's .efi into its slot, and its stack below it, and fills `image.guest`.
  void Load(ImageInstance &image, const ImageSlot &slot);
  // The image is gone: its memory holds undefined instructions from now on.
  void Unload(ImageInstance &image);
  // Calls image code at `code` with the Microsoft x64 convention (x64 images; returns RAX) or
  // cdecl (IA32 images, arguments translated for the PEI world; returns EAX). A processor fault
  // is reported and ends the run (RunCrashed).
  uint64_t Call(ImageInstance &image, uint64_t code, std::initializer_list<uint64_t> args);
  // A result of IA32 code that the caller reads as EFI_STATUS, in the host's form.
  static uint64_t HostStatus(const ImageInstance &image, uint64_t result);
  // Bytes of the image's stack that were ever used.
  static uint64_t StackUsed(const GuestPlacement &guest);

  static std::string DefaultDirectory();

private:
  struct Frame {
    ImageInstance *image;
    Emulator *emu;
    uint64_t suspendedRsp; // the image's stack pointer while a nested call runs
  };
  uint64_t StackFor(const ImageInstance &image) const;
  uint64_t PushArguments64(Emulator &emu, uint64_t top, std::initializer_list<uint64_t> args);
  uint64_t PushArguments32(Emulator &emu, uint64_t top, std::initializer_list<uint64_t> args);
  [[noreturn]] void Crash(const ImageInstance &image, int err);

  Simulator &sim_;
  std::string directory_;
  uint64_t peiWorldArea_ = 0;
  std::unique_ptr<PeiWorld32> peiWorld_; // built when the first PEI image loads
  std::vector<Frame> frames_;
};

} // namespace boardsim
