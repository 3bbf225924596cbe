// The host backend of every loaded image calls these: each hardware access of module code lands
// in the machine model of the simulator whose run is in progress.
#include "Core/ImageLoader.h"
#include "Core/Simulator.h"
#include "Devices/Machine.h"
#include "Pei/PeiCore.h"

#include <cstring>

namespace boardsim {
namespace {

Machine &M() {
  return Simulator::Current().machine();
}

uint64_t IoRead(void *, uint16_t port, uint32_t width) {
  return M().IoRead(port, width);
}
void IoWrite(void *, uint16_t port, uint32_t width, uint64_t value) {
  M().IoWrite(port, width, value);
}

// MMIO that lands in the simulator's RAM is a plain memory access; everything else below 4 GiB
// belongs to the device models (unclaimed addresses read all ones, as a master abort does).
uint64_t MmioRead(void *, uint64_t address, uint32_t width) {
  Simulator &sim = Simulator::Current();
  if (!M().IsDeviceMemory(address) && sim.memory().InRam(address, width / 8)) {
    uint64_t value = 0;
    std::memcpy(&value, reinterpret_cast<const void *>(address), width / 8);
    return value;
  }
  return M().MmioRead(address, width);
}
void MmioWrite(void *, uint64_t address, uint32_t width, uint64_t value) {
  Simulator &sim = Simulator::Current();
  if (!M().IsDeviceMemory(address) && sim.memory().InRam(address, width / 8)) {
    std::memcpy(reinterpret_cast<void *>(address), &value, width / 8);
    return;
  }
  M().MmioWrite(address, width, value);
}

uint64_t ReadMsr(void *, uint32_t index) {
  return M().ReadMsr(index);
}
void WriteMsr(void *, uint32_t index, uint64_t value) {
  M().WriteMsr(index, value);
}
uint64_t ReadDr(void *, uint32_t reg) {
  return M().ReadDr(reg);
}
void WriteDr(void *, uint32_t reg, uint64_t value) {
  M().WriteDr(reg, value);
}
uint64_t ReadCr4(void *) {
  return M().ReadCr4();
}
void WriteCr4(void *, uint64_t value) {
  M().WriteCr4(value);
}
void Cpuid(void *, uint32_t leaf, uint32_t out[4]) {
  M().Cpuid(leaf, out);
}
uint64_t ReadTsc(void *) {
  return M().ReadTsc();
}
void Pause(void *) {
  M().Pause();
}
void PortHandOver(void *, uint32_t eax, uint32_t ebx, uint32_t edx, const void *text) {
  M().PortHandOver(eax, ebx, edx, text);
}
uint16_t CpuidReturnSi(void *, uint32_t eax, uint32_t ebx, uint16_t si) {
  return M().CpuidReturnSi(eax, ebx, si);
}
const void *PeiServicesTablePointer(void *) {
  return Simulator::Current().pei().ServicesTablePointer();
}

} // namespace

const HOST_BRIDGE &SimulatorBridge() {
  static constexpr HOST_BRIDGE kBridge = {
      IoRead,  IoWrite,      MmioRead,      MmioWrite,
      ReadMsr, WriteMsr,     ReadDr,        WriteDr,
      ReadCr4, WriteCr4,     Cpuid,         ReadTsc,
      Pause,   PortHandOver, CpuidReturnSi, PeiServicesTablePointer,
  };
  return kBridge;
}

} // namespace boardsim
