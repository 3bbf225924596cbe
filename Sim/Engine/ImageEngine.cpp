#include "Engine/ImageEngine.h"

#include "Core/Simulator.h"
#include "Engine/Emulator.h"
#include "Engine/GuestModule.h"
#include "Engine/PeiLayout32.h"
#include "Engine/PeiWorld32.h"
#include "Engine/Registers.h"
#include "Engine/SystemInstructions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifndef BOARDSIM_DEFAULT_IMAGE_DIR
#define BOARDSIM_DEFAULT_IMAGE_DIR "images"
#endif

namespace boardsim {
namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kGuard = 4 * kKiB;       // unmapped page below each stack
constexpr uint64_t kImageSpace = 32 * kKiB; // room for one image (the budgets are 4 and 16 KiB)
constexpr unsigned kSlots = 4;              // image instances per space
// Stack sizes as a DXE core and an SMM core give them, and the temporary-RAM stack of PEI.
constexpr uint64_t kDxeStack = 64 * kKiB;
constexpr uint64_t kSmmStack = 16 * kKiB;
constexpr uint64_t kPeiStack = 64 * kKiB;
// The PEI world in IA32 layout: services table, PPIs, IDT and descriptor copies.
constexpr uint64_t kPeiWorldSize = 16 * kKiB;
constexpr uint8_t kStackFill = 0x5A;
constexpr uint8_t kUndefined[2] = {0x0F, 0x0B}; // UD2
// Room left below a suspended frame's stack pointer before a nested call's frame.
constexpr uint64_t kNestedGap = 128;

uint64_t SlotSize(uint64_t stack) {
  return kGuard + stack + kImageSpace;
}

// An area that holds kSlots of [guard][stack][image], off the top of a space's pool.
uint64_t Reserve(Memory &memory, Space space, uint64_t stack, const char *what) {
  void *base = memory.ReserveTop(space, kSlots * SlotSize(stack));
  if (!base)
    throw std::runtime_error(std::string("the image engine needs ") +
                             std::to_string(kSlots * SlotSize(stack) / kKiB) + " KiB of " + what +
                             " for images and stacks; give the board more (for SMRAM, raise "
                             "[smm] smram_size)");
  return reinterpret_cast<uint64_t>(base);
}

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
  boot_ = {Reserve(memory, Space::Boot, kDxeStack, "boot-services memory"), kDxeStack, 0};
  smram_ = {Reserve(memory, Space::Smram, kSmmStack, "SMRAM"), kSmmStack, 0};
  std::vector<std::pair<uint64_t, uint64_t>> guards;
  for (const Area *area : {&boot_, &smram_})
    for (unsigned i = 0; i < kSlots; ++i) {
      const uint64_t guard = area->base + i * SlotSize(area->stackSize);
      guards.emplace_back(guard, guard + kGuard);
    }
  std::sort(guards.begin(), guards.end());
  MapBoardMemory(64, memory, guards, {});

  // PEI images execute in place: the IA32 processor sees their areas read-only.
  pei_ = {Reserve(memory, Space::Platform, kPeiStack, "platform memory"), kPeiStack, 0};
  peiWorldArea_ = reinterpret_cast<uint64_t>(memory.ReserveTop(Space::Platform, kPeiWorldSize));
  if (!peiWorldArea_)
    throw std::runtime_error("the image engine cannot reserve the PEI tables in platform memory");
  Emulator::Ranges peiGuards, peiImages;
  for (unsigned i = 0; i < kSlots; ++i) {
    const uint64_t guard = pei_.base + i * SlotSize(kPeiStack);
    peiGuards.emplace_back(guard, guard + kGuard);
    peiImages.emplace_back(guard + kGuard + kPeiStack, guard + SlotSize(kPeiStack));
  }
  MapBoardMemory(32, memory, peiGuards, peiImages);
}

ImageEngine::~ImageEngine() = default;

ImageEngine::Area &ImageEngine::AreaFor(const ImageInstance &image) {
  static constexpr Area ImageEngine::*kAreas[] = {&ImageEngine::pei_, &ImageEngine::boot_,
                                                  &ImageEngine::smram_};
  return this->*kAreas[static_cast<int>(image.kind)];
}

uint64_t ImageEngine::HostStatus(const ImageInstance &image, uint64_t result) {
  if (!image.guest || image.guest->module->Bits() == 64)
    return result;
  return ia32::WidenStatus(static_cast<uint32_t>(result));
}

void ImageEngine::Load(ImageInstance &image) {
  const GuestModule &module = GuestModule::Get(directory_, image.module);
  if ((module.Bits() == 32) != (image.kind == ModuleKind::Pei))
    throw std::runtime_error(module.Name() + ".efi is a " + std::to_string(module.Bits()) +
                             "-bit image; the image engine runs PEI modules as IA32 images and "
                             "DXE and SMM drivers as x64 images");
  Area &area = AreaFor(image);
  if (area.used == kSlots)
    throw std::runtime_error("the image engine runs at most " + std::to_string(kSlots) +
                             " instances of each kind of image; the boot script dispatches more");
  if (module.SizeOfImage() > kImageSpace)
    throw std::runtime_error(module.Name() + ".efi needs " + std::to_string(module.SizeOfImage()) +
                             " bytes, more than the image engine's " + std::to_string(kImageSpace) +
                             " per image");
  const uint64_t slot = area.base + area.used++ * SlotSize(area.stackSize);
  const uint64_t stackLo = slot + kGuard, base = stackLo + area.stackSize;
  const std::vector<uint8_t> &bytes = module.RelocatedFor(base);
  std::memcpy(reinterpret_cast<void *>(base), bytes.data(), bytes.size());
  std::memset(reinterpret_cast<void *>(stackLo), kStackFill, area.stackSize);
  Emulator::Get(module.Bits()).PlaceCode(base, kImageSpace, &module);
  image.guest = GuestPlacement{&module, base, module.SizeOfImage(), stackLo, base};
  if (module.Bits() == 32) {
    if (!peiWorld_)
      peiWorld_ = std::make_unique<PeiWorld32>(sim_, peiWorldArea_, kPeiWorldSize);
    // The file handle the PEI core passes: the image's place in flash.
    peiWorld_->Map(reinterpret_cast<uint64_t>(&image), static_cast<uint32_t>(base));
  }
}

void ImageEngine::Unload(ImageInstance &image) {
  const GuestPlacement &guest = *image.guest;
  auto *bytes = reinterpret_cast<uint8_t *>(guest.base);
  for (uint64_t i = 0; i + 1 < kImageSpace; i += 2)
    std::memcpy(bytes + i, kUndefined, 2);
  Emulator::Get(guest.module->Bits()).PlaceCode(guest.base, kImageSpace, nullptr);
}

// Eight fill bytes at a time while they last (stacks are page-aligned), then byte by byte.
uint64_t ImageEngine::StackUsed(const GuestPlacement &guest) {
  const auto *stack = reinterpret_cast<const uint8_t *>(guest.stackLo);
  const uint64_t size = guest.stackHi - guest.stackLo;
  constexpr uint64_t kFillWord = 0x0101010101010101ULL * kStackFill;
  uint64_t untouched = 0;
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
  const uc_err err = uc_emu_start(uc, code, emu.ReturnAddress(), 0, 0);
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
          stop.address + kGuard >= candidate->guest->stackLo)
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
