#include "ImageBudget.h"

#include <array>
#include <utility>

namespace imagecheck {

std::optional<std::uint64_t> ImageBudget(std::string_view file_name) {
  static constexpr std::array<std::pair<std::string_view, std::uint64_t>, 3> kBudgets = {{
      {"BoardInfoDxe.efi", 4096},
      {"BoardInfoPei.efi", 3072},
      {"S3SaveSmm.efi", 16384},
  }};
  for (const auto &[name, budget] : kBudgets) {
    if (name == file_name) {
      return budget;
    }
  }
  return std::nullopt;
}

} // namespace imagecheck
