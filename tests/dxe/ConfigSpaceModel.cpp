#include "ConfigSpaceModel.h"
#include "PciTopology.h"
#include <HostBridge.h>
#include <memory>

extern "C" void HostBackendAttach(const HOST_BRIDGE *Bridge, void *Context);

namespace {

constexpr uint64_t kEcamSize = uint64_t(1) << 28;
std::unique_ptr<ConfigSpaceModel> gModel;

bool InHostWindow(uint16_t Bdf, uint32_t Offset) {
  return Bdf == 0 && Offset >= 0xC0 && Offset < 0xCC;
}

uint64_t BridgeIoRead(void *, uint16_t Port, uint32_t Width) {
  return Model().Read(HwAccess::Io, Port, Width);
}
void BridgeIoWrite(void *, uint16_t Port, uint32_t Width, uint64_t Value) {
  Model().Write(HwAccess::Io, Port, Width, Value);
}
uint64_t BridgeMmioRead(void *, uint64_t Address, uint32_t Width) {
  return Model().Read(HwAccess::Mmio, Address, Width);
}
void BridgeMmioWrite(void *, uint64_t Address, uint32_t Width, uint64_t Value) {
  Model().Write(HwAccess::Mmio, Address, Width, Value);
}

const HOST_BRIDGE kBridge = {
    .IoRead = BridgeIoRead,
    .IoWrite = BridgeIoWrite,
    .MmioRead = BridgeMmioRead,
    .MmioWrite = BridgeMmioWrite,
};

} // namespace

ConfigSpaceModel &Model() {
  return *gModel;
}

void ResetModel() {
  gModel = std::make_unique<ConfigSpaceModel>();
  HostBackendAttach(&kBridge, nullptr);
}

ModelFunction &ConfigSpaceModel::AddFunction(uint16_t Bdf, uint32_t PciId, uint8_t BaseClass) {
  ModelFunction &Function = Functions[Bdf];
  SetConfig(Bdf, 0x00, PciId, 4);
  SetConfig(Bdf, 0x0B, BaseClass, 1);
  return Function;
}

ModelFunction &ConfigSpaceModel::AddBridge(uint16_t Bdf, uint8_t Secondary, uint8_t Subordinate) {
  ModelFunction &Function = AddFunction(Bdf, 0x12348086, 0x06);
  SetConfig(Bdf, 0x19, Secondary, 1);
  SetConfig(Bdf, 0x1A, Subordinate, 1);
  return Function;
}

void ConfigSpaceModel::SetCapabilities(uint16_t Bdf, const std::vector<uint8_t> &Ids,
                                       const std::array<uint8_t, 256> &VpdImage) {
  ModelFunction &Function = Functions.at(Bdf);
  uint8_t Offset = 0x40;
  SetConfig(Bdf, 0x34, Ids.empty() ? 0 : Offset, 1);
  for (size_t I = 0; I < Ids.size(); I++, Offset += 8) {
    uint8_t Next = I + 1 < Ids.size() ? uint8_t(Offset + 8) : 0;
    SetConfig(Bdf, Offset, Ids[I] | (Next << 8), 2);
    if (Ids[I] == 3) {
      Function.VpdCapability = Offset;
      Function.Vpd = VpdImage;
    }
  }
}

void ConfigSpaceModel::SetConfig(uint16_t Bdf, uint32_t Offset, uint64_t Value, unsigned Bytes) {
  ModelFunction &Function = Functions[Bdf];
  for (unsigned I = 0; I < Bytes; I++) {
    Function.Config.at(Offset + I) = uint8_t(Value >> (8 * I));
  }
}

uint8_t ConfigSpaceModel::Config8(uint16_t Bdf, uint32_t Offset) const {
  return Functions.at(Bdf).Config.at(Offset);
}

void ConfigSpaceModel::SetDeviceMemory(uint64_t Address, const std::vector<uint8_t> &Bytes) {
  for (size_t I = 0; I < Bytes.size(); I++) {
    DeviceMemory[Address + I] = Bytes[I];
  }
}

uint8_t ConfigSpaceModel::DeviceMemoryByte(uint64_t Address) const {
  auto It = DeviceMemory.find(Address);
  return It == DeviceMemory.end() ? 0xEE : It->second;
}

void ConfigSpaceModel::SetBusGroupSizeMinusOne(uint8_t N) {
  HostRegisters[{0, kBusGroupIndex}] = uint32_t(N) << 24;
}

uint64_t ConfigSpaceModel::Read(HwAccess::Space Kind, uint64_t Address, uint32_t Width) {
  uint64_t Value = ~uint64_t(0) >> (64 - Width);
  if (Kind == HwAccess::Io && Address == 0xCFC) {
    Value = ReadConfig(uint16_t(PortAddress >> 8), PortAddress & 0xFF, Width);
  } else if (Kind == HwAccess::Mmio && Address >= ECAM_BASE && Address < ECAM_BASE + kEcamSize) {
    Value = ReadConfig(uint16_t((Address - ECAM_BASE) >> 12), Address & 0xFFF, Width);
  }
  Log.push_back({Kind, false, Address, Width, Value});
  return Value;
}

void ConfigSpaceModel::Write(HwAccess::Space Kind, uint64_t Address, uint32_t Width,
                             uint64_t Value) {
  Log.push_back({Kind, true, Address, Width, Value});
  if (Kind == HwAccess::Io && Address == 0xCF8) {
    PortAddress = uint32_t(Value);
  } else if (Kind == HwAccess::Mmio && Address >= ECAM_BASE && Address < ECAM_BASE + kEcamSize) {
    WriteConfig(uint16_t((Address - ECAM_BASE) >> 12), Address & 0xFFF, Width, Value);
  }
}

uint64_t ConfigSpaceModel::ReadConfig(uint16_t Bdf, uint32_t Offset, uint32_t Width) {
  if (InHostWindow(Bdf, Offset)) {
    uint32_t Data = HostRegisters[{HostSelect, HostIndex}];
    uint32_t Registers[3] = {HostSelect, HostIndex, Data};
    uint64_t Wide = Registers[(Offset - 0xC0) / 4];
    return (Wide >> (8 * (Offset % 4))) & (~uint64_t(0) >> (64 - Width));
  }
  auto It = Functions.find(Bdf);
  if (It == Functions.end()) {
    return ~uint64_t(0) >> (64 - Width);
  }
  ModelFunction &Function = It->second;
  uint8_t Vpd = Function.VpdCapability;
  if (Vpd != 0 && Offset == Vpd + 2u && Width == 16) {
    bool Ready = Function.VpdReadyAfter >= 0 && ++Function.VpdPolls >= Function.VpdReadyAfter;
    return Function.VpdAddress | (Ready ? 0x8000 : 0);
  }
  if (Vpd != 0 && Offset == Vpd + 4u && Width == 32) {
    uint32_t Data = 0;
    for (unsigned I = 0; I < 4; I++) {
      Data |= uint32_t(Function.Vpd[(Function.VpdAddress + I) & 0xFF]) << (8 * I);
    }
    return Data;
  }
  uint64_t Value = 0;
  for (uint32_t I = 0; I < Width / 8; I++) {
    Value |= uint64_t(Function.Config.at(Offset + I)) << (8 * I);
  }
  return Value;
}

void ConfigSpaceModel::WriteConfig(uint16_t Bdf, uint32_t Offset, uint32_t Width, uint64_t Value) {
  if (InHostWindow(Bdf, Offset)) {
    if (Offset == 0xC0 && Width == 32) {
      HostSelect = uint32_t(Value);
    } else if (Offset == 0xC4 && Width == 32) {
      HostIndex = uint32_t(Value);
    } else if (Offset == 0xC8 && Width == 32) {
      HostRegisters[{HostSelect, HostIndex}] = uint32_t(Value);
    }
    return;
  }
  auto It = Functions.find(Bdf);
  if (It == Functions.end()) {
    return;
  }
  ModelFunction &Function = It->second;
  if (Function.VpdCapability != 0 && Offset == Function.VpdCapability + 2u && Width == 16) {
    Function.VpdAddress = uint16_t(Value & 0x7FFF);
    Function.VpdPolls = 0;
    return;
  }
  for (uint32_t I = 0; I < Width / 8; I++) {
    Function.Config.at(Offset + I) = uint8_t(Value >> (8 * I));
  }
}
