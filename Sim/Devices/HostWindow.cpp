#include "Devices/HostWindow.h"

#include <algorithm>
#include <vector>

namespace boardsim {
namespace {

constexpr uint32_t kWindowSelect = 0;
constexpr uint32_t kWindowIndex = 4;
constexpr uint32_t kWindowData = 8;

uint8_t ByteOf(uint32_t value, uint32_t byte) {
  return static_cast<uint8_t>(value >> (8 * byte));
}
void SetByte(uint32_t &value, uint32_t byte, uint8_t to) {
  value = (value & ~(0xFFu << (8 * byte))) | uint32_t{to} << (8 * byte);
}

} // namespace

// Room for the board's registers and for as many again that modules write without the board
// giving them, so that writes rarely move the list.
HostWindow::HostWindow(const HostConfig &config) {
  registers_.reserve(2 * config.registers.size() + 16);
  for (const HostRegister &reg : config.registers)
    registers_[Find(Key(reg.instance, reg.index))].bits = reg.value;
  uint32_t &busGroup = registers_[Find(Key(0, kBusGroupRegisterIndex))].bits;
  SetByte(busGroup, 3, config.bus_group_size_minus_one);
}

template <typename Registers> auto HostWindow::LowerBound(Registers &registers, uint64_t key) {
  return std::lower_bound(registers.begin(), registers.end(), key,
                          [](const Value &value, uint64_t wanted) { return value.key < wanted; });
}

size_t HostWindow::Find(uint64_t key) {
  auto at = LowerBound(registers_, key);
  if (at == registers_.end() || at->key != key)
    at = registers_.insert(at, Value{key});
  return static_cast<size_t>(at - registers_.begin());
}

uint32_t HostWindow::Register(uint32_t instance, uint32_t index) const {
  const uint64_t key = Key(instance, index);
  auto found = LowerBound(registers_, key);
  return found == registers_.end() || found->key != key ? 0 : found->bits;
}

uint32_t HostWindow::ReadRegister(uint32_t at) const {
  switch (at) {
  case kWindowSelect:
    return select_;
  case kWindowIndex:
    return index_;
  default:
    return Register(select_, index_);
  }
}

void HostWindow::WriteRegister(uint32_t at, uint32_t value, uint32_t mask) {
  auto merge = [&](uint32_t &reg) { reg = (reg & ~mask) | (value & mask); };
  switch (at) {
  case kWindowSelect:
    merge(select_);
    selected_ = kNoneSelected;
    break;
  case kWindowIndex:
    merge(index_);
    selected_ = kNoneSelected;
    break;
  case kWindowData:
    if (selected_ == kNoneSelected)
      selected_ = Find(Key(select_, index_));
    merge(registers_[selected_].bits);
    registers_[selected_].written = true;
    break;
  }
}

uint8_t HostWindow::ReadByte(uint32_t at) const {
  return ByteOf(ReadRegister(at - at % 4), at % 4);
}

void HostWindow::WriteByte(uint32_t at, uint8_t value) {
  const uint32_t shift = 8 * (at % 4);
  WriteRegister(at - at % 4, uint32_t{value} << shift, 0xFFu << shift);
}

Json HostWindow::WrittenRegisters() const {
  Json list = ArrayWithRoom(registers_.size());
  for (const Value &value : registers_) {
    if (!value.written)
      continue;
    Json &entry = list.emplace_back(ObjectWithRoom(3));
    AddMember(entry, "instance", static_cast<uint32_t>(value.key >> 32));
    AddMember(entry, "index", static_cast<uint32_t>(value.key));
    AddMember(entry, "value", value.bits);
  }
  return list;
}

} // namespace boardsim
