#include "Engine/PeiWorld32.h"

#include "Core/Memory.h"
#include "Core/Simulator.h"
#include "Engine/Emulator.h"
#include "Engine/PeiLayout32.h"
#include "Pei/PeiCore.h"

#include <Pi/PiPei.h>

#include <cstring>
#include <iterator>
#include <stdexcept>

namespace boardsim {
namespace {

// A thunk's signature: one letter per argument as IA32 code passes it, then ':' and the result.
//   w  32-bit value (UINT32, UINTN, a pointer to data of the same layout in both worlds)
//   b  8-bit value (UINT8, BOOLEAN)          u  16-bit value
//   q  64-bit value (two stack slots)        t  a world object (services pointer, PPI)
//   n  UINTN * (copied in and out)           o  VOID ** (a pointer written back)
//   e  EFI_PEI_PPI_DESCRIPTOR ** written back
//   p  EFI_PEI_PPI_DESCRIPTOR list           f  EFI_PEI_NOTIFY_DESCRIPTOR list
// Results: s EFI_STATUS, v 32-bit value in EAX, d 64-bit value in EDX:EAX, x none.

constexpr const char *kServices[] = {
    "tp:s",   "tpp:s", "twweo:s",  "tf:s",     "tw:s",  "tw:s",   "to:s",
    "tuuo:s", "two:s", "tbwo:s",   "tbwo:s",   "tqq:s", "twww:s", "two:s",
    "www:x",  "wwb:x", "twwwww:s", "t:s",      nullptr, nullptr,  "wwo:s",
    "ww:s",   "ww:s",  "w:s",      "tbwwow:s", "ww:s",  "wwww:x", "tqw:s",
};
static_assert(sizeof(ia32::PeiServices) == sizeof(EFI_TABLE_HEADER) + std::size(kServices) * 4);
static_assert(sizeof(EFI_PEI_SERVICES) == sizeof(EFI_TABLE_HEADER) + std::size(kServices) * 8);

constexpr const char *kPcd[] = {
    "w:x",   "w:v",    "w:v",   "w:v",   "w:d",   "w:v",   "w:v",   "w:v",
    "ww:v",  "ww:v",   "ww:v",  "ww:d",  "ww:v",  "ww:v",  "ww:v",  "wb:s",
    "wu:s",  "ww:s",   "wq:s",  "wnw:s", "wb:s",  "wwb:s", "wwu:s", "www:s",
    "wwq:s", "wwnw:s", "wwb:s", "www:s", "www:s", "wn:s",  "o:s",
};
constexpr const char *kVariables[] = {"twwwnw:s", "tnww:s"};
constexpr const char *kStall[] = {nullptr, "ttw:s"};
constexpr const char *kSmbus[] = {"twwwbnw:s", "tbwn:s", "tno:s", "twww:s"};
constexpr const char *kBmc[] = {":s", ":s", ":s", "tbbbwwww:s"};
constexpr const char *kSource[] = {":s", "www:s"};
constexpr const char *kApply[] = {"tbbbwb:s"};

struct PpiShape {
  const char *name;
  const char *const *slots;
  size_t count;
  size_t tail; // bytes after the pointer slots, copied as they are
  size_t size; // the IA32 layout's size
};
template <size_t N>
constexpr PpiShape Shape(const char *name, const char *const (&slots)[N], size_t tail,
                         size_t size) {
  return {name, slots, N, tail, size};
}
constexpr PpiShape kPpis[] = {
    Shape("PCD_PPI", kPcd, 0, sizeof(ia32::PcdPpi)),
    Shape("EFI_PEI_READ_ONLY_VARIABLE2_PPI", kVariables, 0, sizeof(ia32::ReadOnlyVariable2Ppi)),
    Shape("EFI_PEI_STALL_PPI", kStall, 0, sizeof(ia32::StallPpi)),
    Shape("EFI_PEI_SMBUS2_PPI", kSmbus, sizeof(EFI_GUID), sizeof(ia32::Smbus2Ppi)),
    Shape("BMC_TRANSPORT_PPI", kBmc, 0, sizeof(ia32::BmcTransportPpi)),
    Shape("BOARD_TABLE_SOURCE_PPI", kSource, 0, sizeof(ia32::BoardTableSourcePpi)),
    Shape("BOARD_TABLE_APPLY_PPI", kApply, 0, sizeof(ia32::BoardTableApplyPpi)),
};
constexpr bool ShapesMatch() {
  for (const PpiShape &shape : kPpis)
    if (shape.count * 4 + shape.tail != shape.size)
      return false;
  return true;
}
static_assert(ShapesMatch());

// A descriptor list is walked up to its TERMINATE_LIST entry, or this many entries.
constexpr size_t kMaxListEntries = 64;

// The entries of an IA32 descriptor list in guest memory, up to the first that ends the list or
// the first that cannot be read.
template <typename Descriptor> std::vector<Descriptor> ReadGuestList(uint32_t guest) {
  const Emulator &emu = Emulator::Get(32);
  std::vector<Descriptor> list;
  for (Descriptor d; list.size() < kMaxListEntries;) {
    if (emu.Read(guest + list.size() * sizeof d, &d, sizeof d) != UC_ERR_OK)
      break;
    list.push_back(d);
    if (d.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST)
      break;
  }
  return list;
}
constexpr uint64_t kAlign = 16;
// Stack slots a thunk reads: twelve arguments, some of them 64-bit.
constexpr unsigned kMaxArgumentSlots = 16;

} // namespace

PeiWorld32::PeiWorld32(Simulator &sim, uint64_t area, uint64_t size)
    : sim_(sim), next_(area), end_(area + size) {
  const auto *hostPointer =
      static_cast<const EFI_PEI_SERVICES *const *>(sim.pei().ServicesTablePointer());
  const EFI_PEI_SERVICES &host = **hostPointer;
  auto &table = *static_cast<ia32::PeiServices *>(Take(sizeof(ia32::PeiServices)));
  table.Hdr = host.Hdr;
  table.Hdr.HeaderSize = sizeof(ia32::PeiServices);
  const auto *hostSlots = reinterpret_cast<const uint64_t *>(&host.InstallPpi);
  auto *slots = &table.InstallPpi;
  for (size_t i = 0; i < std::size(kServices); ++i)
    slots[i] = kServices[i] ? AddThunk(hostSlots[i], kServices[i]) : 0;
  // The services pointer, and the IDT with that pointer in the 4 bytes below its base.
  auto *pointer = static_cast<uint32_t *>(Take(sizeof(uint32_t)));
  *pointer = static_cast<uint32_t>(reinterpret_cast<uint64_t>(&table));
  const uint64_t idtBlock = reinterpret_cast<uint64_t>(Take(kAlign + kIdtLimit + 1));
  idt_ = static_cast<uint32_t>(idtBlock + kAlign);
  const auto pointerValue = static_cast<uint32_t>(reinterpret_cast<uint64_t>(pointer));
  std::memcpy(reinterpret_cast<void *>(uint64_t{idt_} - 4), &pointerValue, 4);
  Map(reinterpret_cast<uint64_t>(hostPointer), pointerValue);

  const auto &models = sim.pei().PlatformPpiModels();
  for (const PpiShape &shape : kPpis) {
    auto model = models.find(shape.name);
    if (model == models.end())
      continue;
    const auto *hostPpi = static_cast<const uint8_t *>(model->second);
    auto *twin = static_cast<uint32_t *>(Take(shape.size));
    for (size_t i = 0; i < shape.count; ++i) {
      uint64_t word;
      std::memcpy(&word, hostPpi + 8 * i, 8);
      twin[i] = shape.slots[i] ? AddThunk(word, shape.slots[i]) : static_cast<uint32_t>(word);
    }
    std::memcpy(twin + shape.count, hostPpi + 8 * shape.count, shape.tail);
    Map(reinterpret_cast<uint64_t>(hostPpi),
        static_cast<uint32_t>(reinterpret_cast<uint64_t>(twin)));
  }

  Emulator &emu = Emulator::Get(32);
  emu.thunks = [this](uint32_t index) { CallThunk(index); };
  uc_x86_mmr idtr = {0, idt_, kIdtLimit, 0};
  uc_reg_write(emu.uc(), UC_X86_REG_IDTR, &idtr);
}

PeiWorld32::~PeiWorld32() {
  Emulator::Get(32).thunks = nullptr;
}

void *PeiWorld32::Take(uint64_t size) {
  const uint64_t at = (next_ + kAlign - 1) & ~(kAlign - 1);
  if (at + size > end_)
    throw std::runtime_error("image engine: the 32-bit PEI tables outgrow their area; the "
                             "PEI module installs or registers too many descriptors");
  next_ = at + size;
  auto *block = reinterpret_cast<void *>(at);
  std::memset(block, 0, size);
  return block;
}

uint32_t PeiWorld32::AddThunk(uint64_t host, const char *signature) {
  if (thunks_.size() == Emulator::kThunkCount)
    throw std::logic_error("image engine: out of thunks");
  thunks_.push_back({host, signature});
  return static_cast<uint32_t>(Emulator::kThunkBase + thunks_.size() - 1);
}

void PeiWorld32::Map(uint64_t host, uint32_t guest) {
  toGuest_[host] = guest;
  toHost_[guest] = host;
}

uint32_t PeiWorld32::ToGuest(uint64_t value) const {
  if (auto it = toGuest_.find(value); it != toGuest_.end())
    return it->second;
  if (value >> 32)
    throw std::logic_error("image engine: a 64-bit address was about to be passed to 32-bit code");
  return static_cast<uint32_t>(value);
}

uint64_t PeiWorld32::ToHost(uint32_t value) const {
  auto it = toHost_.find(value);
  return it == toHost_.end() ? value : it->second;
}

// The host copy of an IA32 PPI descriptor list; each entry stands for the image's own.
uint64_t PeiWorld32::PpiList(uint32_t guest) {
  const std::vector<ia32::PpiDescriptor> list = ReadGuestList<ia32::PpiDescriptor>(guest);
  if (list.empty())
    return guest; // unreadable: the service sees the pointer as given
  // One zeroed entry more: an unterminated list ends in an invalid entry.
  auto *host = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(
      Take((list.size() + 1) * sizeof(EFI_PEI_PPI_DESCRIPTOR)));
  for (size_t i = 0; i < list.size(); ++i) {
    host[i] = {list[i].Flags, reinterpret_cast<const EFI_GUID *>(uint64_t{list[i].Guid}),
               reinterpret_cast<void *>(ToHost(list[i].Ppi))};
    Map(reinterpret_cast<uint64_t>(&host[i]),
        static_cast<uint32_t>(guest + i * sizeof(ia32::PpiDescriptor)));
  }
  return reinterpret_cast<uint64_t>(host);
}

// The host copy of an IA32 notify descriptor list; the notify functions stay image code.
uint64_t PeiWorld32::NotifyList(uint32_t guest) {
  const std::vector<ia32::NotifyDescriptor> list = ReadGuestList<ia32::NotifyDescriptor>(guest);
  if (list.empty())
    return guest;
  auto *host = static_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(
      Take((list.size() + 1) * sizeof(EFI_PEI_NOTIFY_DESCRIPTOR)));
  for (size_t i = 0; i < list.size(); ++i) {
    host[i] = {list[i].Flags, reinterpret_cast<const EFI_GUID *>(uint64_t{list[i].Guid}),
               reinterpret_cast<EFI_PEIM_NOTIFY_ENTRY_POINT>(uint64_t{list[i].Notify})};
    Map(reinterpret_cast<uint64_t>(&host[i]),
        static_cast<uint32_t>(guest + i * sizeof(ia32::NotifyDescriptor)));
  }
  return reinterpret_cast<uint64_t>(host);
}

void PeiWorld32::CallThunk(uint32_t index) {
  Emulator &emu = Emulator::Get(32);
  uc_engine *uc = emu.uc();
  if (index >= thunks_.size()) {
    const uint64_t at = Emulator::kThunkBase + index;
    emu.stop = {GuestStop::Kind::Unmapped, UC_MEM_FETCH_UNMAPPED, at, 0, at};
    uc_emu_stop(uc);
    return;
  }
  const Thunk &thunk = thunks_[index];
  // The return address is at ESP, the arguments above it; the stack lies in board memory.
  uint32_t stack[kMaxArgumentSlots] = {};
  const uint64_t first = emu.Sp() + 4;
  if (sim_.memory().InRam(first, sizeof stack))
    std::memcpy(stack, reinterpret_cast<const void *>(first), sizeof stack);
  else
    uc_mem_read(uc, first, stack, sizeof stack);
  unsigned slot = 0;
  auto next = [&] { return slot < kMaxArgumentSlots ? stack[slot++] : 0; };
  struct WriteBack {
    char kind;
    uint32_t guest;
    size_t arg;
    uint64_t before;
  };
  uint64_t args[12] = {}, values[12] = {};
  WriteBack backs[12];
  size_t count = 0, backCount = 0;
  const char *c = thunk.signature;
  for (; *c != ':'; ++c, ++count) {
    const uint32_t v = next();
    switch (*c) {
    case 'w':
      args[count] = v;
      break;
    case 'b':
      args[count] = v & 0xFF;
      break;
    case 'u':
      args[count] = v & 0xFFFF;
      break;
    case 'q':
      args[count] = v | uint64_t{next()} << 32;
      break;
    case 't':
      args[count] = ToHost(v);
      break;
    case 'p':
      args[count] = v ? PpiList(v) : 0;
      break;
    case 'f':
      args[count] = v ? NotifyList(v) : 0;
      break;
    default: { // n, o, e: a pointer to one pointer-sized value
      uint32_t current = 0;
      if (!v || emu.Read(v, &current, 4) != UC_ERR_OK) {
        args[count] = v;
        break;
      }
      values[count] = *c == 'n' ? current : ToHost(current);
      args[count] = reinterpret_cast<uint64_t>(&values[count]);
      backs[backCount++] = {*c, v, count, values[count]};
      break;
    }
    }
  }
  const uint64_t result = CallHostService(thunk.host, args);
  for (size_t i = 0; i < backCount; ++i) {
    const WriteBack &back = backs[i];
    const uint64_t value = values[back.arg];
    if (value == back.before)
      continue;
    if (back.kind == 'e' && !toGuest_.count(value)) {
      // A descriptor the platform installed: the image gets an IA32 copy of it.
      const auto &d = *reinterpret_cast<const EFI_PEI_PPI_DESCRIPTOR *>(value);
      auto *copy = static_cast<ia32::PpiDescriptor *>(Take(sizeof(ia32::PpiDescriptor)));
      *copy = {static_cast<uint32_t>(d.Flags), ToGuest(reinterpret_cast<uint64_t>(d.Guid)),
               ToGuest(reinterpret_cast<uint64_t>(d.Ppi))};
      Map(value, static_cast<uint32_t>(reinterpret_cast<uint64_t>(copy)));
    }
    const uint32_t out = back.kind == 'n' ? static_cast<uint32_t>(value) : ToGuest(value);
    uc_mem_write(uc, back.guest, &out, 4);
  }
  const RegisterSet &r = emu.Regs();
  uint64_t eax = static_cast<uint32_t>(result), edx = result >> 32;
  switch (c[1]) {
  case 's':
    eax = ia32::NarrowStatus(result);
    break;
  case 'd':
    uc_reg_write(uc, r.dx, &edx);
    break;
  case 'x':
    return;
  default:
    break;
  }
  uc_reg_write(uc, r.ax, &eax);
}

} // namespace boardsim
