#include "Core/Images.h"

#include "Core/Simulator.h"
#include "Engine/GuestModule.h"
#include "Engine/ImageEngine.h"

#include "Board/NumberFormat.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace boardsim {

Phase ImageInstance::phase() const {
  static constexpr Phase kPhases[] = {Phase::Pei, Phase::Dxe, Phase::Smm};
  return kPhases[static_cast<int>(kind)];
}

std::optional<ModuleKind> KindOfModule(const std::string &module) {
  static const std::map<std::string, ModuleKind> kModules = {
      {"BoardInfoPei", ModuleKind::Pei},
      {"BoardInfoDxe", ModuleKind::Dxe},
      {"S3SaveSmm", ModuleKind::Smm},
  };
  auto it = kModules.find(module);
  if (it == kModules.end())
    return std::nullopt;
  return it->second;
}

bool ImageInstance::Contains(uintptr_t address) const {
  return loaded ? loaded->Contains(address) : guest->Contains(address);
}

void *ImageInstance::Entry() const {
  if (loaded)
    return loaded->Entry();
  return reinterpret_cast<void *>(guest->base + guest->module->EntryRva());
}

void *ImageInstance::Symbol(const char *name) const {
  if (loaded)
    return loaded->Symbol(name);
  auto rva = guest->module->SymbolRva(name);
  return rva ? reinterpret_cast<void *>(guest->base + *rva) : nullptr;
}

unsigned ImageInstance::PointerSize() const {
  return guest ? guest->module->Bits() / 8 : sizeof(void *);
}

Images::Images(Simulator &sim, ImageEngine *engine) : sim_(sim), engine_(engine) {}

Images::~Images() {
  for (auto &image : all_)
    if (image->loaded)
      image->loaded->owner = nullptr;
}

ImageInstance &Images::Load(const std::string &module) {
  unsigned copy = 0;
  for (const auto &image : all_)
    copy += image->module == module;
  auto image = std::make_unique<ImageInstance>();
  image->name = module + "#" + std::to_string(copy + 1);
  image->module = module;
  image->kind = *KindOfModule(module);
  const ImageSlot slot = TakeSlot(image->kind);
  if (engine_) {
    engine_->Load(*image, slot);
  } else {
    image->loaded = &ImageLoader::Acquire(module, copy, sim_.memory(), slot.base);
    image->loaded->owner = image.get();
  }
  all_.push_back(std::move(image));
  return *all_.back();
}

ImageSlot Images::TakeSlot(ModuleKind kind) {
  const Space space = LayoutOf(kind).space;
  const Memory::Range area = sim_.memory().Kept(space);
  if (area.size == 0)
    throw std::runtime_error("the simulator needs " + std::to_string(ImageAreaSize(kind) / 1024) +
                             " KiB of " + SpaceName(space) +
                             " memory for images; give the board more (for SMRAM, raise [smm] "
                             "smram_size)");
  unsigned &used = slotsUsed_[static_cast<int>(kind)];
  if (used == kImageSlots)
    throw std::runtime_error("the simulator runs at most " + std::to_string(kImageSlots) +
                             " instances of each kind of image; the boot script dispatches more");
  return SlotAt(kind, area.begin, used++);
}

void Images::Unload(ImageInstance &image) {
  image.unloaded = true;
  if (image.guest)
    engine_->Unload(image);
  sim_.Emit("unload", [&](Json &e) { e["image"] = image.name; });
}

ImageInstance *Images::OwnerOf(const void *code) const {
  auto address = reinterpret_cast<uintptr_t>(code);
  for (const auto &image : all_)
    if (image->Contains(address))
      return image.get();
  return nullptr;
}

uint64_t Images::CallGuest(ImageInstance &target, uint64_t code,
                           std::initializer_list<uint64_t> args, bool statusResult) {
  const uint64_t result = engine_->Call(target, code, args);
  return statusResult ? ImageEngine::HostStatus(target, result) : result;
}

bool Images::Enter(const void *code, ImageInstance *&target) {
  if (!code) {
    sim_.Fault("call through a null interface pointer");
    return false;
  }
  target = OwnerOf(code);
  if (target && target->unloaded) {
    sim_.Fault("call into unloaded image " + target->name);
    return false;
  }
  return true;
}

Images::Frame::Frame(Images &images, ImageInstance *target)
    : images_(images), target_(target), pushed_(target != nullptr) {
  if (pushed_)
    images_.stack_.push_back(target_);
}

Images::Frame::~Frame() {
  if (pushed_)
    images_.stack_.pop_back();
}

void Images::Frame::Leave() {
  if (!pushed_)
    return;
  images_.stack_.pop_back();
  pushed_ = false;
  images_.CheckReadOnly(*target_);
  images_.CheckPoolGuards(*target_);
}

namespace {

std::string HostFaultText(const HostFault &fault) {
  switch (fault.signal) {
  case SIGILL:
    return "undefined instruction";
  case SIGFPE:
    return fault.code == FPE_INTDIV ? "divide error" : "arithmetic exception";
  case SIGBUS:
    return "bus error at " + Hex(fault.address);
  default:
    // A non-canonical address raises a general-protection fault, which names no address.
    if (fault.code == SI_KERNEL)
      return "general-protection fault (an address outside the canonical range)";
    if (fault.address == fault.rip)
      return "call or jump to unmapped memory at " + Hex(fault.address);
    return std::string(fault.write ? "write to " : "read of ") +
           (fault.code == SEGV_ACCERR ? "protected memory at " : "unmapped memory at ") +
           Hex(fault.address);
  }
}

} // namespace

void Images::Crash(const ImageInstance *target, const HostFault &fault) {
  const ImageInstance *owner = OwnerOf(reinterpret_cast<const void *>(fault.rip));
  sim_.Emit("fault", [&](Json &e) {
    e["what"] = HostFaultText(fault);
    // The offset names the place in the module's shared object, whatever slot the image had.
    if (fault.signal == SIGSEGV || fault.signal == SIGBUS)
      e["address"] = fault.address;
    if (owner && owner->loaded) {
      const std::string function = owner->loaded->FunctionAt(fault.rip);
      e["in_image"] = owner->name;
      e["offset"] = fault.rip - owner->loaded->Base();
      e["function"] = function.empty() ? Json(nullptr) : Json(function);
    } else if (target) {
      // The fault was taken in code the module called (a service of the simulator).
      e["called_by"] = target->name;
    }
  });
  throw RunCrashed{};
}

// A write past either end of a pool block, seen when the call that made it returns.
void Images::CheckPoolGuards(const ImageInstance &image) {
  for (const Memory::Overrun &overrun : sim_.memory().TakeOverruns()) {
    char text[160];
    std::snprintf(text, sizeof text, "%s wrote past the %zu-byte %s pool block at 0x%llX",
                  image.name.c_str(), overrun.size, SpaceName(overrun.space),
                  static_cast<unsigned long long>(overrun.address));
    sim_.Fault(text);
  }
}

// A PEIM runs from flash: its data cannot change. Report a write and undo it, as the flash would.
void Images::CheckReadOnly(ImageInstance &image) {
  if (!image.loaded || image.kind != ModuleKind::Pei || !image.loaded->DataChanged())
    return;
  sim_.Fault("write to read-only image " + image.name);
  image.loaded->Reset();
}

Json Images::Final() const {
  Json list = ArrayWithRoom(all_.size());
  for (const auto &image : all_) {
    Json &entry = list.emplace_back(ObjectWithRoom(5));
    AddMember(entry, "image", image->name);
    AddMember(entry, "status",
              image->entryStatus ? Json(StatusName(*image->entryStatus)) : Json(nullptr));
    AddMember(entry, "unloaded", image->unloaded);
    if (image->guest) {
      AddMember(entry, "stack_size", image->guest->stackHi - image->guest->stackLo);
      AddMember(entry, "stack_used", ImageEngine::StackUsed(*image->guest));
    }
  }
  return list;
}

} // namespace boardsim
