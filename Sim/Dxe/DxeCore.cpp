#include "Dxe/DxeCore.h"

#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Devices/Machine.h"
#include "Dxe/PlatformProtocols.h"
#include "Services/CallBuffers.h"

#include <BoardInfoProtocol.h>
#include <Guids.h>

#include <cstring>

namespace boardsim {
namespace {

constexpr size_t kConfigurationTableCapacity = 16;

} // namespace

DxeCore::DxeCore(Simulator &sim) : sim_(sim), events_(sim), protocols_(sim, "boot", &events_) {
  configurationTable_ = static_cast<EFI_CONFIGURATION_TABLE *>(sim.memory().Allocate(
      Space::Platform, kConfigurationTableCapacity * sizeof(EFI_CONFIGURATION_TABLE)));
  BuildTables();
  RegisterPlatformProtocols(sim, *this);
}

DxeCore::~DxeCore() = default;

void DxeCore::Start() {
  const ServicesConfig &services = sim_.board().services;
  if (services.pcd_protocol)
    InstallPlatformProtocol("PCD_PROTOCOL");
  if (services.setup_item_protocol)
    InstallPlatformProtocol("SETUP_ITEM_PROTOCOL");
}

void DxeCore::ProvideInterface(std::string_view name, void *interface) {
  interfaces_.insert_or_assign(std::string(name), interface);
}

void DxeCore::AddConfigurationTable(const EFI_GUID &guid, void *table) {
  UINTN &count = systemTable_->NumberOfTableEntries;
  for (UINTN i = 0; i < count; ++i)
    if (SameGuid(configurationTable_[i].VendorGuid, guid)) {
      configurationTable_[i].VendorTable = table;
      return;
    }
  if (count == kConfigurationTableCapacity)
    return;
  configurationTable_[count++] = {guid, table};
}

void DxeCore::StartImage(ImageInstance &image) {
  auto entry = reinterpret_cast<EFI_IMAGE_ENTRY_POINT>(image.Entry());
  Status status =
      sim_.images().Call(entry, EFI_LOAD_ERROR, static_cast<EFI_HANDLE>(&image), systemTable_);
  image.entryStatus = status;
  sim_.Emit("entry", [&](Json &e) {
    e["image"] = image.name;
    e["status"] = StatusName(status);
  });
  if (IsError(status))
    sim_.images().Unload(image);
}

// An interface the simulator models, or (for a known protocol without a model) an empty
// interface of its own, so that installations and notifications still happen.
void DxeCore::InstallPlatformProtocol(std::string_view name) {
  auto guid = GuidFromText(name);
  if (!guid) {
    sim_.Fault("no protocol named " + std::string(name));
    return;
  }
  auto model = interfaces_.find(name);
  if (model == interfaces_.end())
    model = interfaces_.emplace(name, nullptr).first;
  if (!model->second)
    model->second = sim_.memory().Allocate(Space::Platform, 64);
  EFI_HANDLE handle = nullptr;
  protocols_.Install(&handle, *guid, model->second);
}

void *DxeCore::Locate(const EFI_GUID &guid) {
  void *interface = nullptr;
  Status status = protocols_.Locate(guid, nullptr, &interface);
  sim_.Emit("protocol_locate", [&](Json &e) {
    AddGuidFields(e, guid);
    e["status"] = StatusName(status);
    e["where"] = "boot";
  });
  return interface;
}

void DxeCore::SignalReadyToBoot() {
  events_.SignalGroup(EFI_EVENT_GROUP_READY_TO_BOOT);
}

namespace {

enum class SlotKind { Boolean, Value, MacList, Reserved };
constexpr SlotKind kSlotKinds[BOARD_INFO_PROTOCOL_SLOT_COUNT] = {
    SlotKind::Boolean,  SlotKind::Value,    SlotKind::Boolean,  SlotKind::Reserved,
    SlotKind::MacList,  SlotKind::Boolean,  SlotKind::Value,    SlotKind::Value,
    SlotKind::Reserved, SlotKind::Reserved, SlotKind::Reserved, SlotKind::Reserved,
};

} // namespace

void DxeCore::CallBoardInfo(const BootStep &step) {
  std::string target = step.call_target == CallTarget::GetNicMacAddresses
                           ? "GetNicMacAddresses"
                           : "BOARD_INFO_PROTOCOL." + std::to_string(step.slot);
  uint32_t defaultSize = step.call_target == CallTarget::GetNicMacAddresses
                             ? kNicMacBufferDefaultSize
                             : kSlotBufferDefaultSize;
  CallBuffers buffers(sim_, step, defaultSize);
  uint8_t *buffer1 = buffers.first(), *buffer2 = buffers.second();

  sim_.Emit("call", [&](Json &e) { e["target"] = target; });
  auto *protocol = static_cast<BOARD_INFO_PROTOCOL *>(Locate(BOARD_INFO_PROTOCOL_GUID));
  Json value = nullptr, status = nullptr;
  if (!protocol) {
    sim_.Fault(target + ": BOARD_INFO_PROTOCOL is not installed");
  } else if (step.slot >= BOARD_INFO_PROTOCOL_SLOT_COUNT) {
    sim_.Fault(target + ": no such slot");
  } else {
    void *slot = reinterpret_cast<void **>(protocol)[step.slot];
    Images &images = sim_.images();
    switch (kSlotKinds[step.slot]) {
    case SlotKind::Boolean:
      value = images.Call(reinterpret_cast<BOARD_INFO_BOOLEAN_QUERY>(slot), BOOLEAN(0), protocol,
                          static_cast<VOID *>(buffer1), static_cast<VOID *>(buffer2));
      break;
    case SlotKind::Value:
      value = images.Call(reinterpret_cast<BOARD_INFO_VALUE_QUERY>(slot), UINT64(0), protocol,
                          static_cast<VOID *>(buffer1), static_cast<VOID *>(buffer2));
      break;
    case SlotKind::MacList: {
      Status result = images.Call(reinterpret_cast<BOARD_INFO_GET_NIC_MAC_ADDRESSES>(slot),
                                  Status(EFI_UNSUPPORTED), buffer1, buffer2);
      value = result;
      status = StatusName(result);
      break;
    }
    case SlotKind::Reserved:
      images.CallVoid(reinterpret_cast<void (*)()>(slot));
      break;
    }
  }
  buffers.CheckGuards(sim_, target);
  sim_.Emit("return", [&](Json &e) {
    e["target"] = target;
    e["value"] = value;
    e["status"] = status;
    buffers.Report(e);
  });
}

// Device memory is reached one byte at a time, as the firmware's byte copy loop would.
void DxeCore::CopyMemory(void *destination, const void *source, uint64_t length) {
  Machine &machine = sim_.machine();
  auto from = reinterpret_cast<uint64_t>(source), to = reinterpret_cast<uint64_t>(destination);
  auto reachable = [&](uint64_t address) {
    return address >= (1ULL << 32) || sim_.memory().InRam(address, length) ||
           machine.IsDeviceMemory(address);
  };
  if (!reachable(from) || !reachable(to)) {
    sim_.Fault("CopyMem outside any mapped memory");
    return;
  }
  bool deviceFrom = machine.IsDeviceMemory(from), deviceTo = machine.IsDeviceMemory(to);
  if (!deviceFrom && !deviceTo) {
    std::memmove(destination, source, length);
    return;
  }
  for (uint64_t i = 0; i < length; ++i) {
    uint8_t byte = deviceFrom ? static_cast<uint8_t>(machine.MmioRead(from + i, 8))
                              : static_cast<const uint8_t *>(source)[i];
    if (deviceTo)
      machine.MmioWrite(to + i, 8, byte);
    else
      static_cast<uint8_t *>(destination)[i] = byte;
  }
}

void DxeCore::SetMemory(void *buffer, uint64_t length, uint8_t value) {
  Machine &machine = sim_.machine();
  auto to = reinterpret_cast<uint64_t>(buffer);
  if (machine.IsDeviceMemory(to)) {
    for (uint64_t i = 0; i < length; ++i)
      machine.MmioWrite(to + i, 8, value);
    return;
  }
  if (to < (1ULL << 32) && !sim_.memory().InRam(to, length)) {
    sim_.Fault("SetMem outside any mapped memory");
    return;
  }
  std::memset(buffer, value, length);
}

} // namespace boardsim
