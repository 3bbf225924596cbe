// Where the image instances of a run live in board memory, the same in both engines: in the area
// their kind's space keeps (Memory::Kept: PEI modules in platform memory, DXE drivers in
// boot-services memory, SMM drivers in SMRAM, as on a board), kImageSlots slots of
// [guard page][stack][image] per kind. The image engine runs each firmware image on the stack of
// its slot; host images run on the process stack and leave it unused.
#pragma once
#include "Core/Memory.h"

#include <cstdint>

namespace boardsim {

enum class ModuleKind { Pei, Dxe, Smm };

inline constexpr uint64_t kImageGuardSize = 0x1000; // unmapped below each stack (image engine)
// Room for one image: the firmware images' budgets are 4 and 16 KiB; host builds of the modules,
// instrumented by the sanitizers or for fuzzing, need up to about 300 KiB.
inline constexpr uint64_t kImageSpace = 0x50000;
inline constexpr unsigned kImageSlots = 4; // instances of each kind of image in one run

struct ImageKindLayout {
  Space space;
  uint64_t stackSize; // as a DXE core and an SMM core give them, and PEI's temporary RAM
};
inline constexpr ImageKindLayout kImageKinds[] = {
    {Space::Platform, 0x10000}, // PEI
    {Space::Boot, 0x10000},     // DXE
    {Space::Smram, 0x4000},     // SMM
};

constexpr const ImageKindLayout &LayoutOf(ModuleKind kind) {
  return kImageKinds[static_cast<int>(kind)];
}
constexpr uint64_t SlotSize(ModuleKind kind) {
  return kImageGuardSize + LayoutOf(kind).stackSize + kImageSpace;
}
constexpr uint64_t ImageAreaSize(ModuleKind kind) {
  return kImageSlots * SlotSize(kind);
}

struct ImageSlot {
  uint64_t guard;   // the guard page's first byte
  uint64_t stackLo; // the stack, up to `base`
  uint64_t base;    // the image
};

// Slot `index` of an area that begins at `area`.
constexpr ImageSlot SlotAt(ModuleKind kind, uint64_t area, unsigned index) {
  const uint64_t guard = area + index * SlotSize(kind);
  return {guard, guard + kImageGuardSize, guard + kImageGuardSize + LayoutOf(kind).stackSize};
}

static_assert(SlotSize(ModuleKind::Smm) % 0x1000 == 0 && SlotSize(ModuleKind::Dxe) % 0x1000 == 0 &&
                  SlotSize(ModuleKind::Pei) % 0x1000 == 0,
              "slots are whole pages");

} // namespace boardsim
