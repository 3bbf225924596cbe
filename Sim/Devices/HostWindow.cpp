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

HostWindow::HostWindow(const HostConfig &config) {
  for (const HostRegister &reg : config.registers)
    registers_[Key(reg.instance, reg.index)].bits = reg.value;
  uint32_t &busGroup = registers_[Key(0, kBusGroupRegisterIndex)].bits;
  SetByte(busGroup, 3, config.bus_group_size_minus_one);
}

uint32_t HostWindow::Register(uint32_t instance, uint32_t index) const {
  auto found = registers_.find(Key(instance, index));
  return found == registers_.end() ? 0 : found->second.bits;
}

uint8_t HostWindow::ReadByte(uint32_t at) const {
  const uint32_t byte = at % 4;
  switch (at - byte) {
  case kWindowSelect:
    return ByteOf(select_, byte);
  case kWindowIndex:
    return ByteOf(index_, byte);
  default:
    return ByteOf(Register(select_, index_), byte);
  }
}

void HostWindow::WriteByte(uint32_t at, uint8_t value) {
  const uint32_t byte = at % 4;
  switch (at - byte) {
  case kWindowSelect:
    SetByte(select_, byte, value);
    selected_ = nullptr;
    break;
  case kWindowIndex:
    SetByte(index_, byte, value);
    selected_ = nullptr;
    break;
  case kWindowData:
    if (!selected_)
      selected_ = &registers_[Key(select_, index_)];
    SetByte(selected_->bits, byte, value);
    selected_->written = true;
    break;
  }
}

Json HostWindow::WrittenRegisters() const {
  std::vector<std::pair<uint64_t, uint32_t>> written; // (key, value), in key order
  for (const auto &[key, value] : registers_)
    if (value.written)
      written.emplace_back(key, value.bits);
  std::sort(written.begin(), written.end());
  Json list = ArrayWithRoom(written.size());
  for (const auto &[key, value] : written) {
    Json &entry = list.emplace_back(ObjectWithRoom(3));
    AddMember(entry, "instance", static_cast<uint32_t>(key >> 32));
    AddMember(entry, "index", static_cast<uint32_t>(key));
    AddMember(entry, "value", value);
  }
  return list;
}

} // namespace boardsim
