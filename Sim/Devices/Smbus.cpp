#include "Devices/Smbus.h"

#include "Core/Simulator.h"
#include "Devices/DeviceStatus.h"
#include "Devices/Machine.h"

#include <algorithm>

namespace boardsim {

SmbusHost::SmbusHost(Simulator &sim, const std::vector<SmbusDevice> &devices) : sim_(sim) {
  byAddress_.fill(kNoDevice);
  for (const SmbusDevice &device : devices) {
    const uint8_t address = device.address & 0x7F;
    if (byAddress_[address] != kNoDevice)
      continue;
    byAddress_[address] = static_cast<uint8_t>(devices_.size());
    devices_.push_back(
        {address, device.present, device.fail_first, device.fail_on, 0, device.regs});
  }
}

bool SmbusHost::Fails(Device &device) {
  const uint32_t number = ++device.transactions;
  return !device.present || number <= device.failFirst ||
         std::find(device.failOn.begin(), device.failOn.end(), number) != device.failOn.end();
}

Status SmbusHost::Execute(uint8_t address, uint8_t command, SmbusOp op, uint8_t &data) {
  const uint8_t index = address < byAddress_.size() ? byAddress_[address] : kNoDevice;
  Status status = kDeviceError;
  if (index != kNoDevice && !Fails(devices_[index])) {
    status = kDeviceSuccess;
    auto &registers = devices_[index].registers;
    if (op == SmbusOp::WriteByte) {
      registers[command] = data;
    } else {
      auto found = registers.find(command);
      data = found == registers.end() ? 0 : found->second;
    }
  }
  sim_.Emit("smbus", [&](Json &e) {
    e["op"] = op == SmbusOp::WriteByte ? "write_byte" : "read_byte";
    e["address"] = address;
    e["command"] = command;
    e["data"] = data;
    e["status"] = StatusName(status);
  });
  return status;
}

Json SmbusHost::Registers() const {
  Json all = ObjectWithRoom(devices_.size());
  for (const Device &device : devices_) {
    Json registers = ObjectWithRoom(device.registers.size());
    for (const auto &[command, value] : device.registers)
      AddMember(registers, std::to_string(command), value);
    AddMember(all, std::to_string(device.address), std::move(registers)); // one per address
  }
  return all;
}

} // namespace boardsim
