// Every image instance the boot loaded, what its entry point returned and whether it stayed.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

Section ImagesSection(const ReportInput &input) {
  Section section;
  const Json &images = input.final.value("images", Json::array());
  if (images.empty())
    return section;
  constexpr std::string_view kLayout = "  %-16s %-26s %s";
  section.tables.push_back({"", {"image", "entry status", "afterwards"}, {}, {}});
  section.lines.push_back(LayOut(kLayout, section.tables.back().headings));
  for (const Json &image : images)
    AddRow(section, kLayout,
           {{Text(image, "image"),
             image["status"].is_null() ? "(never returned)" : Text(image, "status"),
             image.value("unloaded", false) ? "unloaded" : "resident"}});
  // Image engine: how deep each firmware image's own stack went.
  bool stacks = false;
  for (const Json &image : images) {
    if (!image.contains("stack_used"))
      continue;
    if (!stacks)
      section.tables.push_back({"", {"image", "stack high-water"}, {}, {}});
    stacks = true;
    AddRow(
        section, "  %-16s stack high-water %s",
        {{Text(image, "image"), std::to_string(image.value("stack_used", 0ULL)) + " of " +
                                    std::to_string(image.value("stack_size", 0ULL)) + " bytes"}});
  }
  return section;
}

} // namespace boardsim::report
