// The image engine of one run: the x64 firmware images themselves (BoardInfoDxe.efi,
// S3SaveSmm.efi) loaded into board memory as a PI loader would and executed instruction by
// instruction on the thread's emulator, against the same services and machine as host images.
// A processor fault in image code ends the run as a crash, with a `fault` event saying where.
#pragma once
#include "Core/Images.h"
#include "Core/Memory.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace boardsim {

class Simulator;

class ImageEngine {
public:
  // Takes the image and stack areas off the top of the boot-services pool and SMRAM.
  // Throws std::runtime_error (user-facing) when they do not fit.
  ImageEngine(Simulator &sim, std::string imageDirectory);

  // Loads the module's .efi into the next free area of its space and fills `image.guest`.
  void Load(ImageInstance &image);
  // The image is gone: its memory holds undefined instructions from now on.
  void Unload(ImageInstance &image);
  // Calls image code at `code` with the Microsoft x64 convention; returns RAX. A processor fault
  // is reported and ends the run (RunCrashed).
  uint64_t Call(ImageInstance &image, uint64_t code, std::initializer_list<uint64_t> args);
  // Bytes of the image's stack that were ever used.
  static uint64_t StackUsed(const GuestPlacement &guest);

  static std::string DefaultDirectory();

private:
  struct Area {
    uint64_t base = 0;
    uint64_t stackSize = 0;
    unsigned used = 0;
  };
  struct Frame {
    ImageInstance *image;
    uint64_t suspendedRsp; // the image's stack pointer while a nested call runs
  };
  Area &AreaFor(const ImageInstance &image);
  uint64_t StackFor(const ImageInstance &image) const;
  [[noreturn]] void Crash(const ImageInstance &image, int err);

  Simulator &sim_;
  std::string directory_;
  Area boot_, smram_;
  std::vector<Frame> frames_;
};

} // namespace boardsim
