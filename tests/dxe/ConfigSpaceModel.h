// A small model of the board's PCI configuration space for the driver's unit tests: functions
// reached through ECAM and the 0xCF8/0xCFC ports, the host register window of 00:00.0, VPD
// capabilities and BAR-relative device memory. Every access the module makes is logged.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

struct HwAccess {
  enum Space { Mmio, Io } Kind;
  bool Write;
  uint64_t Address; // memory address or port
  uint32_t Width;
  uint64_t Value;
};

struct ModelFunction {
  std::array<uint8_t, 4096> Config{};
  uint8_t VpdCapability = 0; // offset of the VPD capability, 0 for none
  std::array<uint8_t, 256> Vpd{};
  int VpdReadyAfter = 1; // address-register reads before bit 15 shows 1; < 0 never
  uint16_t VpdAddress = 0;
  int VpdPolls = 0;
};

class ConfigSpaceModel {
public:
  static constexpr uint32_t kBusGroupIndex = 0x0001C0A0;

  // Offsets 0x00-0x0B filled in: the ID, and the base class code.
  ModelFunction &AddFunction(uint16_t Bdf, uint32_t PciId, uint8_t BaseClass);
  ModelFunction &AddBridge(uint16_t Bdf, uint8_t Secondary, uint8_t Subordinate);
  // Chains capabilities with the given IDs from offset 0x40 up; a VPD one (ID 3) gets the image.
  void SetCapabilities(uint16_t Bdf, const std::vector<uint8_t> &Ids,
                       const std::array<uint8_t, 256> &VpdImage = {});
  void SetConfig(uint16_t Bdf, uint32_t Offset, uint64_t Value, unsigned Bytes);
  uint8_t Config8(uint16_t Bdf, uint32_t Offset) const;
  void SetDeviceMemory(uint64_t Address, const std::vector<uint8_t> &Bytes);
  void SetBusGroupSizeMinusOne(uint8_t N);

  uint64_t Read(HwAccess::Space Kind, uint64_t Address, uint32_t Width);
  void Write(HwAccess::Space Kind, uint64_t Address, uint32_t Width, uint64_t Value);
  uint8_t DeviceMemoryByte(uint64_t Address) const;

  std::map<uint16_t, ModelFunction> Functions;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> HostRegisters; // (instance, index) -> value
  std::vector<HwAccess> Log;
  std::map<uint64_t, uint8_t> DeviceMemory;

private:
  uint64_t ReadConfig(uint16_t Bdf, uint32_t Offset, uint32_t Width);
  void WriteConfig(uint16_t Bdf, uint32_t Offset, uint32_t Width, uint64_t Value);

  uint32_t HostSelect = 0;
  uint32_t HostIndex = 0;
  uint32_t PortAddress = 0;
};

// The model the host backend is attached to; tests reset it between cases.
ConfigSpaceModel &Model();
void ResetModel();
