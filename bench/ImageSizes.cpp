#include "BenchTargets.h"

#include "ImageBudget.h"

#include <cstdio>
#include <filesystem>

namespace boardsim::bench {

bool ReportImageSizes(const std::string &imageDir) {
  static constexpr const char *kImages[] = {"BoardInfoPei.efi", "BoardInfoDxe.efi",
                                            "S3SaveSmm.efi"};
  bool withinBudgets = true;
  std::printf("Firmware images in %s\n", imageDir.c_str());
  for (const char *name : kImages) {
    const std::filesystem::path path = std::filesystem::path(imageDir) / name;
    const uint64_t budget = imagecheck::ImageBudget(name).value_or(0);
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
      std::printf("  %-18s not built, skipped (budget %llu bytes)\n", name,
                  static_cast<unsigned long long>(budget));
      continue;
    }
    const bool fits = size <= budget;
    withinBudgets &= fits;
    std::printf("  %-18s %6llu of %6llu bytes  %3llu%%  %s\n", name,
                static_cast<unsigned long long>(size), static_cast<unsigned long long>(budget),
                static_cast<unsigned long long>(budget ? size * 100 / budget : 0),
                fits ? "within budget" : "OVER BUDGET");
  }
  std::printf("\n");
  return withinBudgets;
}

} // namespace boardsim::bench
