#include "Devices/HostWindow.h"

namespace boardsim {
namespace {

constexpr uint32_t kSelect = 0;
constexpr uint32_t kIndex = 4;
constexpr uint32_t kData = 8;

uint8_t ByteOf(uint32_t value, uint32_t byte) {
  return static_cast<uint8_t>(value >> (8 * byte));
}
void SetByte(uint32_t &value, uint32_t byte, uint8_t to) {
  value = (value & ~(0xFFu << (8 * byte))) | uint32_t{to} << (8 * byte);
}

} // namespace

HostWindow::HostWindow(const HostConfig &config) {
  for (const HostRegister &reg : config.registers)
    registers_[Key(reg.instance, reg.index)] = reg.value;
  uint32_t &busGroup = registers_[Key(0, kBusGroupRegisterIndex)];
  SetByte(busGroup, 3, config.bus_group_size_minus_one);
}

uint32_t HostWindow::Register(uint32_t instance, uint32_t index) const {
  auto found = registers_.find(Key(instance, index));
  return found == registers_.end() ? 0 : found->second;
}

uint8_t HostWindow::ReadByte(uint32_t at) const {
  const uint32_t byte = at % 4;
  switch (at - byte) {
  case kSelect:
    return ByteOf(select_, byte);
  case kIndex:
    return ByteOf(index_, byte);
  default:
    return ByteOf(Register(select_, index_), byte);
  }
}

void HostWindow::WriteByte(uint32_t at, uint8_t value) {
  const uint32_t byte = at % 4;
  switch (at - byte) {
  case kSelect:
    SetByte(select_, byte, value);
    break;
  case kIndex:
    SetByte(index_, byte, value);
    break;
  case kData:
    SetByte(registers_[Key(select_, index_)], byte, value);
    written_.emplace(select_, index_);
    break;
  }
}

Json HostWindow::WrittenRegisters() const {
  Json list = Json::array();
  for (const auto &[instance, index] : written_) {
    list.push_back(
        {{"instance", instance}, {"index", index}, {"value", Register(instance, index)}});
  }
  return list;
}

} // namespace boardsim
