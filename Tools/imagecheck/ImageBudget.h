// Size budgets of the firmware images: the flash space each module may take.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace imagecheck {

// The budget in bytes for an image file name such as "BoardInfoDxe.efi"; nullopt for images
// without a budget (test harnesses).
std::optional<std::uint64_t> ImageBudget(std::string_view file_name);

} // namespace imagecheck
