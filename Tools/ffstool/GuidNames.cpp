// Names for the GUIDs of Include/Guids.h, plus the standard ones that the modules' dependency
// expressions name without calling them.
#include <cstring>
#include <span>

#include "Guid.h"

#include <Guids.h>

namespace fwfile {
namespace {

struct NamedGuid {
  std::string_view Name;
  EFI_GUID Value;
};

// 1E5668E2-8481-11D4-BCF1-0080C73C8881 (PI volume 2): installed once the variable services
// in the runtime services table can be used.
constexpr EFI_GUID kVariableArchProtocolGuid = {
    0x1E5668E2, 0x8481, 0x11D4, {0xBC, 0xF1, 0x00, 0x80, 0xC7, 0x3C, 0x88, 0x81}};

#define NAMED(Guid)                                                                                \
  { #Guid, Guid }
constexpr NamedGuid kNamedGuids[] = {
    NAMED(BOARD_INFO_PROTOCOL_GUID),
    NAMED(BOARD_INFO_PPI_GUID),
    NAMED(SETUP_VARIABLE_GUID),
    NAMED(PLATFORM_SIGNAL_PROTOCOL_GUID),
    NAMED(SETUP_ITEM_PROTOCOL_GUID),
    NAMED(PCD_PROTOCOL_GUID),
    NAMED(PCD_PPI_GUID),
    NAMED(EFI_PEI_SMBUS2_PPI_GUID),
    NAMED(BOARD_TABLE_APPLY_PPI_GUID),
    NAMED(EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID),
    NAMED(EFI_PEI_STALL_PPI_GUID),
    NAMED(BMC_TRANSPORT_PPI_GUID),
    NAMED(BOARD_TABLE_SOURCE_PPI_GUID),
    NAMED(EFI_SMM_BASE2_PROTOCOL_GUID),
    NAMED(EFI_SMM_ACCESS2_PROTOCOL_GUID),
    NAMED(SMM_HEAP_LIST_PROTOCOL_GUID),
    NAMED(EFI_SMM_STATUS_CODE_PROTOCOL_GUID),
    NAMED(EFI_SMM_SX_DISPATCH2_PROTOCOL_GUID),
    NAMED(EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL_GUID),
    NAMED(EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL_GUID),
    NAMED(EFI_SMM_COMMUNICATION_PROTOCOL_GUID),
    {"EFI_VARIABLE_ARCH_PROTOCOL_GUID", kVariableArchProtocolGuid},
};
#undef NAMED

Guid Stored(const EFI_GUID &value) {
  static_assert(sizeof(EFI_GUID) == sizeof(Guid::Bytes));
  Guid guid;
  std::memcpy(guid.Bytes.data(), &value, sizeof(value));
  return guid;
}

} // namespace

std::optional<Guid> ResolveGuid(std::string_view nameOrText) {
  for (const NamedGuid &entry : kNamedGuids) {
    if (entry.Name == nameOrText) {
      return Stored(entry.Value);
    }
  }
  return ParseGuid(nameOrText);
}

std::optional<std::string_view> GuidName(const Guid &guid) {
  for (const NamedGuid &entry : kNamedGuids) {
    if (Stored(entry.Value) == guid) {
      return entry.Name;
    }
  }
  return std::nullopt;
}

} // namespace fwfile
