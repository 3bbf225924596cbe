// The host SMBus and the devices on it. A device stores the byte written to a command and returns
// it when read. A transaction to an address with no device, to a device that is not present, or
// one the board marks as failing (the first `fail_first`, or those numbered in `fail_on`,
// counted from 1 per device) ends with EFI_DEVICE_ERROR and changes nothing.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace boardsim {

class Simulator;
enum class SmbusOp;

class SmbusHost {
public:
  SmbusHost(Simulator &sim, const std::vector<SmbusDevice> &devices);

  Status Execute(uint8_t address, uint8_t command, SmbusOp op, uint8_t &data);
  // final.smbus: address -> command -> value, for every register of every device.
  Json Registers() const;

private:
  struct Device {
    uint8_t address;
    bool present;
    uint32_t failFirst;
    std::vector<uint32_t> failOn;
    uint32_t transactions = 0;
    std::map<uint8_t, uint8_t> registers;
  };
  bool Fails(Device &device);

  static constexpr uint8_t kNoDevice = 0xFF;
  Simulator &sim_;
  std::vector<Device> devices_;
  std::array<uint8_t, 128> byAddress_; // 7-bit address -> index into devices_
};

} // namespace boardsim
