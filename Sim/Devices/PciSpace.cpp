#include "Devices/PciSpace.h"

#include "Devices/BarAssignment.h"
#include "Devices/NicModels.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace boardsim {
namespace {

bool InHostWindow(uint16_t bdf, uint32_t offset) {
  return bdf == 0 && offset >= kHostWindowFirst && offset < kHostWindowFirst + kHostWindowSize;
}

// Whether [offset, offset + size) of `bdf` has a byte in the host window.
bool TouchesHostWindow(uint16_t bdf, uint32_t offset, unsigned size) {
  return bdf == 0 && offset < kHostWindowFirst + kHostWindowSize &&
         kHostWindowFirst < offset + size;
}

// An aligned 32-bit access within the window reaches one of its registers whole.
bool WholeHostRegister(uint16_t bdf, uint32_t offset, unsigned size) {
  return size == 4 && offset % 4 == 0 && InHostWindow(bdf, offset);
}

// An access of `size` bytes that lies wholly within a function's configuration space and outside
// the host window reaches the space's bytes directly; configuration space is little-endian, as
// the host is.
static_assert(std::endian::native == std::endian::little);
bool Plain(uint16_t bdf, uint32_t offset, unsigned size) {
  return (size == 1 || size == 2 || size == 4 || size == 8) && offset + size <= kConfigSpaceSize &&
         !TouchesHostWindow(bdf, offset, size);
}

// `size` is 1, 2, 4 or 8: each case is a single load or store.
uint64_t Load(const uint8_t *at, unsigned size) {
  auto load = [at](auto value) {
    std::memcpy(&value, at, sizeof value);
    return uint64_t{value};
  };
  switch (size) {
  case 1:
    return *at;
  case 2:
    return load(uint16_t{});
  case 4:
    return load(uint32_t{});
  default:
    return load(uint64_t{});
  }
}

void Store(uint8_t *at, unsigned size, uint64_t value) {
  auto store = [at](auto narrowed) { std::memcpy(at, &narrowed, sizeof narrowed); };
  switch (size) {
  case 1:
    *at = static_cast<uint8_t>(value);
    break;
  case 2:
    store(static_cast<uint16_t>(value));
    break;
  case 4:
    store(static_cast<uint32_t>(value));
    break;
  default:
    store(value);
    break;
  }
}

bool SameDevice(const Bdf &a, const Bdf &b) {
  return a.bus == b.bus && a.device == b.device;
}

uint32_t Read32(const ConfigSpace &config, uint32_t at) {
  return config.Get(at) | config.Get(at + 1) << 8 | config.Get(at + 2) << 16 |
         uint32_t{config.Get(at + 3)} << 24;
}

} // namespace

std::string BdfText(const Bdf &bdf) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x:%02x.%x", bdf.bus, bdf.device, bdf.function);
  return text;
}

PciSpace::PciSpace(const Board &board, std::function<uint64_t()> clock) : hostWindow_(board.host) {
  const std::vector<uint32_t> bars = AssignBar0(board);
  functions_.reserve(board.pci.size());
  byBdf_.reserve(board.pci.size());
  withBar_.reserve(board.pci.size());
  for (size_t i = 0; i < board.pci.size(); ++i) {
    const PciFunction &described = board.pci[i];
    const uint16_t bdf = Bdf16(described.bdf);
    if (std::any_of(byBdf_.begin(), byBdf_.end(),
                    [&](const auto &entry) { return entry.first == bdf; }))
      continue;
    bool multiFunction = false;
    for (const PciFunction &other : board.pci) {
      multiFunction |= SameDevice(other.bdf, described.bdf) && !(other.bdf == described.bdf);
    }
    ConfigImage image = BuildConfigImage(described, bars[i], multiFunction);
    Function &function = functions_.emplace_back();
    function.bdf = described.bdf;
    function.config = std::move(image.bytes);
    if (image.vpdCapability != 0) {
      function.vpd.emplace(
          image.vpdCapability, VpdStore(described),
          VpdCapability::Timing{described.vpd_ready_after, described.vpd_ready_after_us, clock});
    }
    if (bars[i] != 0) {
      PlaceBarContents(described, function.bar.emplace());
      withBar_.push_back(functions_.size() - 1);
    }
    byBdf_.emplace_back(bdf, functions_.size() - 1);
  }
  std::sort(byBdf_.begin(), byBdf_.end());
}

PciSpace::Function *PciSpace::Find(uint16_t bdf) {
  if (bdf == lastBdf_)
    return lastFunction_;
  auto found =
      std::lower_bound(byBdf_.begin(), byBdf_.end(), bdf,
                       [](const auto &entry, uint16_t wanted) { return entry.first < wanted; });
  lastBdf_ = bdf;
  lastFunction_ =
      found != byBdf_.end() && found->first == bdf ? &functions_[found->second] : nullptr;
  return lastFunction_;
}

uint8_t PciSpace::ReadByte(uint16_t bdf, Function *function, uint32_t offset) const {
  if (InHostWindow(bdf, offset))
    return hostWindow_.ReadByte(offset - kHostWindowFirst);
  if (function == nullptr || offset >= kConfigSpaceSize)
    return 0xFF;
  return function->config.Get(offset);
}

uint64_t PciSpace::Read(uint16_t bdf, uint32_t offset, unsigned size) {
  Function *function = Find(bdf);
  if (function && function->vpd)
    function->vpd->BeforeRead(function->config.Standard(), offset, size);
  if (const uint8_t *at =
          function && Plain(bdf, offset, size) ? function->config.Readable(offset, size) : nullptr)
    return Load(at, size);
  if (WholeHostRegister(bdf, offset, size))
    return hostWindow_.ReadRegister(offset - kHostWindowFirst);
  uint64_t value = 0;
  for (unsigned i = 0; i < size; ++i) {
    value |= uint64_t{ReadByte(bdf, function, offset + i)} << (8 * i);
  }
  return value;
}

void PciSpace::Write(uint16_t bdf, uint32_t offset, unsigned size, uint64_t value) {
  Function *function = Find(bdf);
  if (uint8_t *at = function && Plain(bdf, offset, size) ? function->config.Writable(offset, size)
                                                         : nullptr) {
    Store(at, size, value);
    function->commandWritten |= offset < kConfigCommand + 2 && kConfigCommand < offset + size;
  } else if (WholeHostRegister(bdf, offset, size)) {
    hostWindow_.WriteRegister(offset - kHostWindowFirst, static_cast<uint32_t>(value));
  } else {
    WriteBytes(bdf, function, offset, size, value);
  }
  if (function && function->vpd)
    function->vpd->AfterWrite(function->config.Standard(), offset, size);
}

void PciSpace::WriteBytes(uint16_t bdf, Function *function, uint32_t offset, unsigned size,
                          uint64_t value) {
  for (unsigned i = 0; i < size; ++i) {
    const uint32_t at = offset + i;
    const uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
    if (InHostWindow(bdf, at)) {
      hostWindow_.WriteByte(at - kHostWindowFirst, byte);
    } else if (function && at < kConfigSpaceSize) {
      function->config.Set(at, byte);
      function->commandWritten |= at == kConfigCommand || at == kConfigCommand + 1;
    }
  }
}

std::optional<PciSpace::BarSlot> PciSpace::FindBarSlot(uint64_t address) const {
  for (size_t index : withBar_) {
    const Function &function = functions_[index];
    if (!(function.config.Get(kConfigCommand) & kCommandMemorySpace))
      continue;
    const uint64_t base = Read32(function.config, kConfigBar0) & ~0xFu;
    if (base != 0 && address >= base && address - base < kBarWindowSize) {
      return BarSlot{index, static_cast<uint32_t>(address - base)};
    }
  }
  return std::nullopt;
}

std::optional<PciSpace::BarHit> PciSpace::FindBar(uint64_t address) {
  const std::optional<BarSlot> slot = FindBarSlot(address);
  if (!slot)
    return std::nullopt;
  return BarHit{&*functions_[slot->function].bar, slot->offset};
}

Json PciSpace::WrittenCommands() const {
  Json commands = ObjectWithRoom(functions_.size());
  for (const Function &function : functions_) {
    if (!function.commandWritten)
      continue;
    AddMember(commands, BdfText(function.bdf),
              function.config.Get(kConfigCommand) | function.config.Get(kConfigCommand + 1) << 8);
  }
  return commands;
}

} // namespace boardsim
