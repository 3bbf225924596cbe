// GUIDs as the trace shows them: registry form plus the known name.
#pragma once
#include "Core/Trace.h"

#include <Base.h>

#include <optional>
#include <string>
#include <string_view>

namespace boardsim {

std::string GuidText(const EFI_GUID &guid);
// The name this system knows the GUID by, or nullptr.
const char *GuidName(const EFI_GUID &guid);
// Looks up a known name ("EFI_PEI_SMBUS2_PPI") or a registry-form GUID string.
std::optional<EFI_GUID> GuidFromText(std::string_view text);
bool SameGuid(const EFI_GUID &a, const EFI_GUID &b);
// The `guid` and `name` fields of a trace event.
void AddGuidFields(Json &event, const EFI_GUID &guid);

} // namespace boardsim
