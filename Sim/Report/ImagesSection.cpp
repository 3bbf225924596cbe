// Every image instance the boot loaded, what its entry point returned and whether it stayed.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

SectionLines ImagesSection(const ReportInput &input) {
  SectionLines lines;
  const Json &images = input.final.value("images", Json::array());
  if (images.empty())
    return lines;
  lines.push_back(Format("  %-16s %-26s %s", "image", "entry status", "afterwards"));
  for (const Json &image : images)
    lines.push_back(
        Format("  %-16s %-26s %s", Text(image, "image").c_str(),
               image["status"].is_null() ? "(never returned)" : Text(image, "status").c_str(),
               image.value("unloaded", false) ? "unloaded" : "resident"));
  // Image engine: how deep each firmware image's own stack went.
  for (const Json &image : images)
    if (image.contains("stack_used"))
      lines.push_back(Format("  %-16s stack high-water %llu of %llu bytes",
                             Text(image, "image").c_str(),
                             static_cast<unsigned long long>(image.value("stack_used", 0ULL)),
                             static_cast<unsigned long long>(image.value("stack_size", 0ULL))));
  return lines;
}

} // namespace boardsim::report
