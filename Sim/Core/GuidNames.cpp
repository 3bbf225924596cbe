#include "Core/GuidNames.h"

#include <Guids.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace boardsim {
namespace {

struct NamedGuid {
  const char *name;
  const EFI_GUID *guid;
};

// Interfaces are named without the _GUID suffix, as board files and reports write them.
constexpr std::array kGuids = {
    NamedGuid{"BOARD_INFO_PROTOCOL", &BOARD_INFO_PROTOCOL_GUID},
    NamedGuid{"BOARD_INFO_PPI", &BOARD_INFO_PPI_GUID},
    NamedGuid{"SETUP_VARIABLE_GUID", &SETUP_VARIABLE_GUID},
    NamedGuid{"PLATFORM_SIGNAL_PROTOCOL", &PLATFORM_SIGNAL_PROTOCOL_GUID},
    NamedGuid{"SETUP_ITEM_PROTOCOL", &SETUP_ITEM_PROTOCOL_GUID},
    NamedGuid{"EFI_EVENT_GROUP_READY_TO_BOOT", &EFI_EVENT_GROUP_READY_TO_BOOT},
    NamedGuid{"PCD_PROTOCOL", &PCD_PROTOCOL_GUID},
    NamedGuid{"PCD_PPI", &PCD_PPI_GUID},
    NamedGuid{"EFI_PEI_SMBUS2_PPI", &EFI_PEI_SMBUS2_PPI_GUID},
    NamedGuid{"BOARD_TABLE_APPLY_PPI", &BOARD_TABLE_APPLY_PPI_GUID},
    NamedGuid{"EFI_PEI_READ_ONLY_VARIABLE2_PPI", &EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID},
    NamedGuid{"EFI_PEI_STALL_PPI", &EFI_PEI_STALL_PPI_GUID},
    NamedGuid{"BMC_TRANSPORT_PPI", &BMC_TRANSPORT_PPI_GUID},
    NamedGuid{"BOARD_TABLE_SOURCE_PPI", &BOARD_TABLE_SOURCE_PPI_GUID},
    NamedGuid{"EFI_SMM_BASE2_PROTOCOL", &EFI_SMM_BASE2_PROTOCOL_GUID},
    NamedGuid{"EFI_SMM_ACCESS2_PROTOCOL", &EFI_SMM_ACCESS2_PROTOCOL_GUID},
    NamedGuid{"EFI_HOB_LIST_GUID", &EFI_HOB_LIST_GUID},
    NamedGuid{"SMM_HEAP_LIST_PROTOCOL", &SMM_HEAP_LIST_PROTOCOL_GUID},
    NamedGuid{"HEAP_TRANSFER_HOB_GUID", &HEAP_TRANSFER_HOB_GUID},
    NamedGuid{"SMM_RUNTIME_SERVICES_TABLE_GUID", &SMM_RUNTIME_SERVICES_TABLE_GUID},
    NamedGuid{"EFI_SMM_STATUS_CODE_PROTOCOL", &EFI_SMM_STATUS_CODE_PROTOCOL_GUID},
    NamedGuid{"SMM_STATUS_CODE_COMPANION_PROTOCOL", &SMM_STATUS_CODE_COMPANION_PROTOCOL_GUID},
    NamedGuid{"EFI_SMM_SX_DISPATCH2_PROTOCOL", &EFI_SMM_SX_DISPATCH2_PROTOCOL_GUID},
    NamedGuid{"EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL",
              &EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL_GUID},
    NamedGuid{"EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL", &EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL_GUID},
    NamedGuid{"EFI_SMM_COMMUNICATION_PROTOCOL", &EFI_SMM_COMMUNICATION_PROTOCOL_GUID},
    NamedGuid{"S3_SAVE_COMMUNICATE_GUID", &S3_SAVE_COMMUNICATE_GUID},
};

} // namespace

bool SameGuid(const EFI_GUID &a, const EFI_GUID &b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string GuidText(const EFI_GUID &g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

void AddGuidFields(Json &event, const EFI_GUID &guid) {
  event["guid"] = GuidText(guid);
  const char *name = GuidName(guid);
  event["name"] = name ? Json(name) : Json(nullptr);
}

const char *GuidName(const EFI_GUID &guid) {
  for (const auto &entry : kGuids)
    if (SameGuid(*entry.guid, guid))
      return entry.name;
  return nullptr;
}

std::optional<EFI_GUID> GuidFromText(std::string_view text) {
  for (const auto &entry : kGuids)
    if (text == entry.name)
      return *entry.guid;
  unsigned d1, d2, d3, b[8];
  std::string copy(text);
  int n = std::sscanf(copy.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0],
                      &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]);
  if (n != 11 || copy.size() != 36)
    return std::nullopt;
  EFI_GUID guid{d1, static_cast<UINT16>(d2), static_cast<UINT16>(d3), {}};
  for (int i = 0; i < 8; ++i)
    guid.Data4[i] = static_cast<UINT8>(b[i]);
  return guid;
}

} // namespace boardsim
