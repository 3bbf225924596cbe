#include "Sweep/SweepFile.h"

#include "Report/ErrorStops.h"

#include <map>
#include <sstream>

namespace boardsim {
namespace {

// "same", or "halted: error stop 0x90875": the result, then its detail.
std::string VerdictText(const Verdict &verdict) {
  std::string text = kVerdictNames[static_cast<size_t>(verdict.kind)];
  return verdict.detail.empty() ? text : text + ": " + verdict.detail;
}

std::optional<Verdict> VerdictFrom(const std::string &text) {
  const size_t colon = text.find(": ");
  const std::string name = text.substr(0, colon);
  for (size_t kind = 0; kind < kVerdictKinds; ++kind)
    if (name == kVerdictNames[kind])
      return Verdict{static_cast<VerdictKind>(kind),
                     colon == std::string::npos ? "" : text.substr(colon + 2)};
  return std::nullopt;
}

std::string SiteKey(const CallSite &site) {
  return site.call + " " + site.image + " " + std::to_string(site.nth);
}

// The detail with each error stop code followed by what it means:
// "error stop 0x90875: S3 private record could not be allocated; 0x90898: ...".
std::string ReadableDetail(const Verdict &verdict) {
  if (verdict.kind != VerdictKind::Halted)
    return verdict.detail;
  std::istringstream words(verdict.detail);
  std::string text, word;
  size_t codes = 0;
  while (words >> word) {
    const bool code = word.rfind("0x", 0) == 0;
    text += (text.empty() ? "" : code && codes++ ? "; " : " ") + word;
    if (code)
      text += ": " + report::ErrorStopMeaning(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
  }
  return text;
}

} // namespace

std::string Describe(const Verdict &verdict) {
  const std::string text = kVerdictNames[static_cast<size_t>(verdict.kind)];
  return verdict.detail.empty() ? text : text + " (" + ReadableDetail(verdict) + ")";
}

std::string SiteName(const CallSite &site) {
  std::string name = site.call + " " + site.image + " call " + std::to_string(site.nth);
  return site.target.empty() ? name : name + " (" + site.target + ")";
}

std::string SweepToJson(const SweepResult &result) {
  std::string text = "{\"board\": " + Json(result.board).dump() +
                     ",\n \"statuses\": " + Json(result.statuses).dump() + ",\n \"sites\": [\n";
  for (size_t i = 0; i < result.sites.size(); ++i) {
    const CallSite &site = result.sites[i];
    Json results = Json::object();
    for (size_t s = 0; s < result.statuses.size(); ++s)
      results[result.statuses[s]] = VerdictText(result.verdicts[i][s]);
    Json line = {{"call", site.call},
                 {"image", site.image},
                 {"nth", site.nth},
                 {"target", site.target},
                 {"results", results}};
    text += "  " + line.dump() + (i + 1 < result.sites.size() ? ",\n" : "\n");
  }
  return text + " ]}\n";
}

std::optional<SweepResult> SweepFromJson(const std::string &text, std::string &problem) {
  Json json = Json::parse(text, nullptr, false);
  if (!json.is_object() || !json.contains("statuses") || !json.contains("sites")) {
    problem = "not a sweep classification (no \"statuses\" and \"sites\")";
    return std::nullopt;
  }
  try {
    SweepResult result;
    result.board = json.value("board", "");
    result.statuses = json["statuses"].get<std::vector<std::string>>();
    for (const Json &site : json["sites"]) {
      result.sites.push_back(
          {site.at("call"), site.at("image"), site.at("nth"), site.value("target", "")});
      std::vector<Verdict> verdicts;
      for (const std::string &status : result.statuses) {
        std::optional<Verdict> verdict =
            VerdictFrom(site.at("results").at(status).get<std::string>());
        if (!verdict) {
          problem = "unknown result at " + SiteName(result.sites.back()) + ", " + status;
          return std::nullopt;
        }
        verdicts.push_back(*verdict);
      }
      result.verdicts.push_back(std::move(verdicts));
    }
    return result;
  } catch (const Json::exception &error) {
    problem = std::string("malformed sweep classification: ") + error.what();
    return std::nullopt;
  }
}

std::vector<std::string> CompareSweeps(const SweepResult &expected, const SweepResult &actual) {
  if (expected.statuses != actual.statuses)
    return {"the pinned sweep used the statuses " + Json(expected.statuses).dump() + ", this one " +
            Json(actual.statuses).dump() + " (give the same --statuses)"};
  std::vector<std::string> differences;
  if (expected.board != actual.board)
    differences.push_back("the pinned sweep is of the board \"" + expected.board +
                          "\", this one of \"" + actual.board + "\"");
  std::map<std::string, size_t> pinned;
  for (size_t i = 0; i < expected.sites.size(); ++i)
    pinned[SiteKey(expected.sites[i])] = i;
  for (size_t i = 0; i < actual.sites.size(); ++i) {
    auto found = pinned.find(SiteKey(actual.sites[i]));
    if (found == pinned.end()) {
      differences.push_back("new call site: " + SiteName(actual.sites[i]));
      continue;
    }
    for (size_t s = 0; s < actual.statuses.size(); ++s) {
      const Verdict &was = expected.verdicts[found->second][s], &now = actual.verdicts[i][s];
      if (!(was == now))
        differences.push_back(SiteName(actual.sites[i]) + ", " + actual.statuses[s] + ": pinned " +
                              Describe(was) + ", now " + Describe(now));
    }
    pinned.erase(found);
  }
  for (const auto &[key, index] : pinned)
    differences.push_back("call site gone: " + SiteName(expected.sites[index]));
  return differences;
}

} // namespace boardsim
