// The DXE foundation as the board's drivers meet it: the system table with boot and runtime
// services, the handle database, events, the boot-services pool, the variable services, the
// PCD protocol, and the platform protocols that boot steps install.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Dxe/DxeEvents.h"
#include "Dxe/ProtocolDatabase.h"

#include <Uefi.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace boardsim {

class Simulator;
struct ImageInstance;

class DxeCore {
public:
  explicit DxeCore(Simulator &sim);
  ~DxeCore();

  // Installs the protocols that [services] says exist from the start (traced).
  void Start();

  EFI_SYSTEM_TABLE *SystemTable() { return systemTable_; }
  ProtocolDatabase &protocols() { return protocols_; }
  DxeEvents &events() { return events_; }

  // A platform interface that a boot step may install by name.
  void ProvideInterface(std::string_view name, void *interface);
  void AddConfigurationTable(const EFI_GUID &guid, void *table);
  // Runs a driver's entry point; an error return unloads the image, as the DXE core does.
  void StartImage(ImageInstance &image);

  // Boot-script steps.
  void InstallPlatformProtocol(std::string_view name);
  void CallBoardInfo(const BootStep &step);
  void SignalReadyToBoot();

  // The boot services' CopyMem and SetMem, which reach device memory too.
  void CopyMemory(void *destination, const void *source, uint64_t length);
  void SetMemory(void *buffer, uint64_t length, uint8_t value);

private:
  void BuildTables();
  void *Locate(const EFI_GUID &guid);

  Simulator &sim_;
  DxeEvents events_;
  ProtocolDatabase protocols_;
  EFI_SYSTEM_TABLE *systemTable_ = nullptr;
  EFI_BOOT_SERVICES *bootServices_ = nullptr;
  EFI_RUNTIME_SERVICES *runtimeServices_ = nullptr;
  EFI_CONFIGURATION_TABLE *configurationTable_ = nullptr;
  std::map<std::string, void *, std::less<>> interfaces_; // found by any string view
};

} // namespace boardsim
