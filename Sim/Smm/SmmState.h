// What the SMM side of the platform keeps during a run; shared by its service files.
#pragma once
#include "Dxe/ProtocolDatabase.h"
#include "Smm/SmmCore.h"

#include <Pi/PiSmm.h>

#include <optional>
#include <vector>

namespace boardsim {

struct SmiRegistration {
  std::string source; // "sx" or "power_button"
  EFI_SMM_HANDLER_ENTRY_POINT2 handler;
  uint32_t type;  // sleep type (sx)
  uint32_t phase; // entry / exit
};

struct S3TableRecord {
  uint64_t address = 0;
  Space space = Space::Boot;
  uint64_t terminatorOffset = 0;
  bool freed = false;
  std::optional<uint16_t> endMarkAtFree;
};

struct SmmCore::State {
  explicit State(Simulator &sim) : protocols(sim, "smm", nullptr) {}
  ProtocolDatabase protocols;
  EFI_SMM_SYSTEM_TABLE2 *smst = nullptr;
  EFI_CONFIGURATION_TABLE *configurationTable = nullptr;
  void *hobList = nullptr;
  std::vector<SmiRegistration> handlers;
  std::optional<S3TableRecord> s3Table;
};

// Builders of the SMM platform pieces (one file each).
EFI_SMM_SYSTEM_TABLE2 *BuildSmst(Simulator &sim);
void ProvideSmmPlatformProtocols(Simulator &sim);
void *BuildHobList(Simulator &sim);

} // namespace boardsim
