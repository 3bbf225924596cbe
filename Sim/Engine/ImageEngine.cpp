#include "Engine/ImageEngine.h"

#include "Core/Simulator.h"
#include "Engine/Emulator.h"
#include "Engine/GuestModule.h"
#include "Engine/PeiLayout32.h"
#include "Engine/PeiWorld32.h"
#include "Engine/Registers.h"
#include "Engine/SystemInstructions.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifndef BOARDSIM_DEFAULT_IMAGE_DIR
#define BOARDSIM_DEFAULT_IMAGE_DIR "images"
#endif

namespace boardsim {
namespace {

constexpr uint64_t kKiB = 1024;
// The PEI world in IA32 layout: services table, PPIs, IDT and descriptor copies.
constexpr uint64_t kPeiWorldSize = 16 * kKiB;
constexpr uint8_t kStackFill = 0x5A;
constexpr size_t kStackPage = 4096;
constexpr uint8_t kUndefined[2] = {0x0F, 0x0B}; // UD2
// Room left below a suspended frame's stack pointer before a nested call's frame.
constexpr uint64_t kNestedGap = 128;

constexpr ModuleKind kKinds[] = {ModuleKind::Pei, ModuleKind::Dxe, ModuleKind::Smm};

const char *AccessName(uc_mem_type type) {
  switch (type) {
  case UC_MEM_WRITE_UNMAPPED:
    return "write to";
  case UC_MEM_FETCH_UNMAPPED:
    return "call or jump to";
  default:
    return "read of";
  }
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

} // namespace

std::string ImageEngine::DefaultDirectory() {
  if (const char *dir = std::getenv("BOARDSIM_IMAGE_DIR"))
    return dir;
  return BOARDSIM_DEFAULT_IMAGE_DIR;
}

// Board memory at the simulator's own addresses, each region with the holes and read-only
// ranges that fall in it.
static void MapBoardMemory(int bits, const Memory &memory, const Emulator::Ranges &holes,
                           const Emulator::Ranges &readOnly) {
  for (const Memory::Range &region : memory.Regions()) {
    auto inside = [&](const Emulator::Ranges &ranges) {
      Emulator::Ranges within;
      for (auto range : ranges)
        if (range.first >= region.begin && range.second <= region.begin + region.size)
          within.push_back(range);
      return within;
    };
    Emulator::Get(bits).MapRegion(region.begin, region.size, inside(holes), inside(readOnly));
  }
}

ImageEngine::ImageEngine(Simulator &sim, std::string imageDirectory)
    : sim_(sim), directory_(std::move(imageDirectory)) {
  Memory &memory = sim.memory();
  // Guard pages below the stacks are holes in the processors' view of memory; the IA32 processor
  // sees PEI images read-only, as they execute in place.
  Emulator::Ranges guards, peiGuards, peiImages;
  for (ModuleKind kind : kKinds) {
    const Memory::Range area = memory.Kept(LayoutOf(kind).space);
    // Host images of earlier runs of this process leave the areas: image code may touch them.
    memory.Overwrite(area);
    if (area.size == 0)
      continue;
    for (unsigned i = 0; i < kImageSlots; ++i) {
      const ImageSlot slot = SlotAt(kind, area.begin, i);
      (kind == ModuleKind::Pei ? peiGuards : guards).emplace_back(slot.guard, slot.stackLo);
      if (kind == ModuleKind::Pei)
        peiImages.emplace_back(slot.base, slot.base + kImageSpace);
    }
  }
  std::sort(guards.begin(), guards.end());
  MapBoardMemory(64, memory, guards, {});
  MapBoardMemory(32, memory, peiGuards, peiImages);
  peiWorldArea_ = reinterpret_cast<uint64_t>(memory.ReserveTop(Space::Platform, kPeiWorldSize));
  if (!peiWorldArea_)
    throw std::runtime_error("the image engine cannot reserve the PEI tables in platform memory");
}

ImageEngine::~ImageEngine() = default;

uint64_t ImageEngine::HostStatus(const ImageInstance &image, uint64_t result) {
  if (!image.guest || image.guest->module->Bits() == 64)
    return result;
  return ia32::WidenStatus(static_cast<uint32_t>(result));
}

void ImageEngine::Load(ImageInstance &image, const ImageSlot &slot) {
  const GuestModule &module = GuestModule::Get(directory_, image.module);
  if ((module.Bits() == 32) != (image.kind == ModuleKind::Pei))
    throw std::runtime_error(module.Name() + ".efi is a " + std::to_string(module.Bits()) +
                             "-bit image; the image engine runs PEI modules as IA32 images and "
                             "DXE and SMM drivers as x64 images");
  if (module.SizeOfImage() > kImageSpace)
    throw std::runtime_error(module.Name() + ".efi needs " + std::to_string(module.SizeOfImage()) +
                             " bytes, more than the " + std::to_string(kImageSpace) +
                             " an image slot holds");
  const uint64_t stackSize = slot.base - slot.stackLo;
  const std::vector<uint8_t> &bytes = module.RelocatedFor(slot.base);
  std::memcpy(reinterpret_cast<void *>(slot.base), bytes.data(), bytes.size());
  std::memset(reinterpret_cast<void *>(slot.stackLo), kStackFill, stackSize);
  Emulator::Get(module.Bits()).PlaceCode(slot.base, kImageSpace, &module);
  image.guest = GuestPlacement{&module, slot.base, module.SizeOfImage(), slot.stackLo, slot.base};
  if (module.Bits() == 32) {
    if (!peiWorld_)
      peiWorld_ = std::make_unique<PeiWorld32>(sim_, peiWorldArea_, kPeiWorldSize);
    // The file handle the PEI core passes: the image's place in flash.
    peiWorld_->Map(reinterpret_cast<uint64_t>(&image), static_cast<uint32_t>(slot.base));
  }
}

void ImageEngine::Unload(ImageInstance &image) {
  const GuestPlacement &guest = *image.guest;
  auto *bytes = reinterpret_cast<uint8_t *>(guest.base);
  for (uint64_t i = 0; i + 1 < kImageSpace; i += 2)
    std::memcpy(bytes + i, kUndefined, 2);
  Emulator::Get(guest.module->Bits()).PlaceCode(guest.base, kImageSpace, nullptr);
}

// Whole pages of fill bytes while they last (stacks are page-aligned; the untouched part is most
// of a stack), then eight bytes at a time, then byte by byte.
uint64_t ImageEngine::StackUsed(const GuestPlacement &guest) {
  const auto *stack = reinterpret_cast<const uint8_t *>(guest.stackLo);
  const uint64_t size = guest.stackHi - guest.stackLo;
  static constexpr std::array<uint8_t, kStackPage> kFillPage = [] {
    std::array<uint8_t, kStackPage> page{};
    page.fill(kStackFill);
    return page;
  }();
  constexpr uint64_t kFillWord = 0x0101010101010101ULL * kStackFill;
  uint64_t untouched = 0;
  while (untouched + kStackPage <= size &&
         std::memcmp(stack + untouched, kFillPage.data(), kStackPage) == 0)
    untouched += kStackPage;
  for (uint64_t word; untouched + 8 <= size; untouched += 8) {
    std::memcpy(&word, stack + untouched, 8);
    if (word != kFillWord)
      break;
  }
  while (untouched < size && stack[untouched] == kStackFill)
    ++untouched;
  return size - untouched;
}

// The image's own stack, below any frame of it that a nested call interrupted.
uint64_t ImageEngine::StackFor(const ImageInstance &image) const {
  for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
    if (it->image == &image)
      return it->suspendedRsp - kNestedGap;
  return image.guest->stackHi;
}

// Shadow space and stack arguments, 16-byte aligned, then the return address; the first four
// arguments in RCX, RDX, R8 and R9.
uint64_t ImageEngine::PushArguments64(Emulator &emu, uint64_t top,
                                      std::initializer_list<uint64_t> args) {
  uc_engine *uc = emu.uc();
  const size_t stackArgs = args.size() > 4 ? args.size() - 4 : 0;
  uint64_t rsp = top & ~uint64_t{15};
  rsp -= (32 + 8 * stackArgs + 15) & ~uint64_t{15};
  rsp -= 8;
  const uint64_t returnAddress = emu.ReturnAddress();
  std::memcpy(reinterpret_cast<void *>(rsp), &returnAddress, 8);
  constexpr int kArgRegs[4] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
  size_t i = 0;
  for (uint64_t arg : args) {
    if (i < 4)
      SetReg(uc, kArgRegs[i], arg);
    else
      std::memcpy(reinterpret_cast<void *>(rsp + 8 + 32 + 8 * (i - 4)), &arg, 8);
    ++i;
  }
  return rsp;
}

// cdecl: every argument a 4-byte stack slot, the first lowest, below them the return address.
// Host objects become what the PEI image knows them as.
uint64_t ImageEngine::PushArguments32(Emulator &emu, uint64_t top,
                                      std::initializer_list<uint64_t> args) {
  uint64_t esp = (top & ~uint64_t{15}) - 4 * args.size();
  uint32_t slot = static_cast<uint32_t>(emu.ReturnAddress());
  std::memcpy(reinterpret_cast<void *>(esp - 4), &slot, 4);
  size_t i = 0;
  for (uint64_t arg : args) {
    slot = peiWorld_->ToGuest(arg);
    std::memcpy(reinterpret_cast<void *>(esp + 4 * i++), &slot, 4);
  }
  return esp - 4;
}

uint64_t ImageEngine::Call(ImageInstance &image, uint64_t code,
                           std::initializer_list<uint64_t> args) {
  Emulator &emu = Emulator::Get(image.guest->module->Bits());
  uc_engine *uc = emu.uc();
  const bool nested = !frames_.empty() && frames_.back().emu == &emu;
  uc_context *saved = nullptr;
  if (nested) {
    uc_context_alloc(uc, &saved);
    uc_context_save(uc, saved);
    frames_.back().suspendedRsp = emu.Sp();
  } else {
    emu.blocks = 0;
    emu.stop = {};
    emu.pending = nullptr;
  }
  const uint64_t top = StackFor(image);
  const uint64_t sp =
      emu.Bits() == 64 ? PushArguments64(emu, top, args) : PushArguments32(emu, top, args);
  SetReg(uc, emu.Regs().sp, sp);

  frames_.push_back({&image, &emu, 0});
  const uc_err err = emu.Start(code);
  frames_.pop_back();
  const uint64_t result = Reg(uc, emu.Regs().ax);
  const bool finished =
      err == UC_ERR_OK && emu.stop.kind == GuestStop::Kind::None && emu.Ip() == emu.ReturnAddress();
  if (saved) {
    if (finished || emu.pending)
      uc_context_restore(uc, saved);
    uc_context_free(saved);
  }
  if (emu.pending) {
    std::exception_ptr pending = emu.pending;
    if (!nested)
      emu.pending = nullptr;
    std::rethrow_exception(pending);
  }
  if (!finished)
    Crash(image, err);
  return result;
}

void ImageEngine::Crash(const ImageInstance &image, int errCode) {
  Emulator &emu = Emulator::Get(image.guest->module->Bits());
  const auto err = static_cast<uc_err>(errCode);
  const GuestStop stop = emu.stop;
  const uint64_t rip = stop.kind == GuestStop::Kind::None ? emu.Ip() : stop.rip;
  const uint64_t rsp = emu.Sp();
  const unsigned pointerSize = emu.Bits() / 8;
  Images &images = sim_.images();
  auto *owner = images.OwnerOf(reinterpret_cast<const void *>(rip));
  uint64_t where = rip;
  // A jump into nowhere: the caller is the place to name.
  if (!owner && sim_.memory().InRam(rsp, pointerSize)) {
    where = 0;
    std::memcpy(&where, reinterpret_cast<const void *>(rsp), pointerSize);
    owner = images.OwnerOf(reinterpret_cast<const void *>(where));
  }

  std::string what;
  if (stop.kind == GuestStop::Kind::StepBudget) {
    what = "step budget of " + std::to_string(Emulator::kStepBudget) +
           " basic blocks exceeded in " + image.name + " (an endless loop)";
  } else if (stop.kind == GuestStop::Kind::ReadOnly) {
    const ImageInstance *written = images.OwnerOf(reinterpret_cast<const void *>(stop.address));
    what = "write to read-only image " + (written ? written->name : std::string("memory")) +
           " at " + Hex(stop.address) + " (it executes in place from flash)";
  } else if (stop.kind == GuestStop::Kind::Interrupt) {
    what = "processor exception " + std::to_string(stop.interrupt);
  } else if (owner && owner->unloaded && owner->guest->Contains(rip)) {
    what = "call into unloaded image " + owner->name;
  } else if (stop.kind == GuestStop::Kind::Unmapped) {
    const ImageInstance *stackOwner = nullptr;
    for (const auto &candidate : images.All())
      if (candidate->guest && stop.address < candidate->guest->stackLo &&
          stop.address + kImageGuardSize >= candidate->guest->stackLo)
        stackOwner = candidate.get();
    what = stackOwner
               ? "stack overflow in " + stackOwner->name + " (" +
                     std::to_string(stackOwner->guest->stackHi - stackOwner->guest->stackLo) +
                     "-byte stack)"
               : std::string(AccessName(stop.access)) + " unmapped memory at " + Hex(stop.address);
  } else if (err == UC_ERR_INSN_INVALID) {
    what = "undefined instruction";
  } else {
    what = std::string("processor stopped: ") + uc_strerror(err);
  }
  sim_.Emit("fault", [&](Json &e) {
    e["what"] = what;
    e["rip"] = rip;
    if (stop.kind == GuestStop::Kind::Unmapped || stop.kind == GuestStop::Kind::ReadOnly)
      e["address"] = stop.address;
    if (owner && owner->guest) {
      const auto offset = static_cast<uint32_t>(where - owner->guest->base);
      const std::string function = owner->guest->module->FunctionAt(offset);
      e["in_image"] = owner->name;
      e["offset"] = offset;
      e["function"] = function.empty() ? Json(nullptr) : Json(function);
      // Unicorn 2.0.1 reports a memory fault at the start of the faulting basic block, so the
      // instruction is named only where RIP is exact.
      if (owner->guest->Contains(where) && !owner->unloaded &&
          stop.kind != GuestStop::Kind::Unmapped && stop.kind != GuestStop::Kind::ReadOnly)
        e["instruction"] =
            DescribeInstruction(reinterpret_cast<const uint8_t *>(where), 16, where, emu.Bits());
    }
  });
  throw RunCrashed{};
}

} // namespace boardsim
