#include "Sweep/SweepTable.h"

#include "Sweep/SweepFile.h"

#include <array>
#include <map>

namespace boardsim {
namespace {

constexpr size_t kWidth = 80;
constexpr size_t kIndent = 4;

std::string Short(const std::string &status) {
  return status.rfind("EFI_", 0) == 0 ? status.substr(4) : status;
}

// "    halted (error stop 0x90875): OUT_OF_RESOURCES NOT_FOUND ..." wrapped at 80 columns.
void AddLine(std::string &out, const std::string &head, const std::vector<std::string> &words) {
  std::string line = std::string(kIndent, ' ') + head + ":";
  for (const std::string &word : words) {
    if (line.size() + 1 + word.size() > kWidth && line.size() > 2 * kIndent) {
      out += line + "\n";
      line = std::string(2 * kIndent, ' ') + word;
    } else {
      line += " " + word;
    }
  }
  out += line + "\n";
}

} // namespace

std::string RenderSweepTable(const SweepResult &result) {
  std::string out;
  for (size_t i = 0; i < result.sites.size(); ++i) {
    out += SiteName(result.sites[i]) + "\n";
    // Statuses with the same verdict share a line, in the order they were first seen.
    std::vector<std::pair<const Verdict *, std::vector<std::string>>> groups;
    for (size_t s = 0; s < result.statuses.size(); ++s) {
      const Verdict &verdict = result.verdicts[i][s];
      auto group = std::find_if(groups.begin(), groups.end(),
                                [&](const auto &g) { return *g.first == verdict; });
      if (group == groups.end())
        groups.push_back({&verdict, {Short(result.statuses[s])}});
      else
        group->second.push_back(Short(result.statuses[s]));
    }
    for (const auto &[verdict, statuses] : groups) {
      AddLine(out, Describe(*verdict),
              groups.size() == 1 ? std::vector<std::string>{"every status"} : statuses);
    }
  }
  return out + RenderSweepTotal(result);
}

std::string RenderSweepTotal(const SweepResult &result) {
  std::array<size_t, kVerdictKinds> counts{};
  size_t runs = 0;
  for (const auto &row : result.verdicts)
    for (const Verdict &verdict : row) {
      ++counts[static_cast<size_t>(verdict.kind)];
      ++runs;
    }
  std::string text =
      std::to_string(runs) + " runs at " + std::to_string(result.sites.size()) + " call sites:";
  for (size_t kind = 0; kind < kVerdictKinds; ++kind)
    text +=
        std::string(kind ? ", " : " ") + std::to_string(counts[kind]) + " " + kVerdictNames[kind];
  return text + "\n";
}

} // namespace boardsim
