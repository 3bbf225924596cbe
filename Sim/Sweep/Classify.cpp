#include "Sweep/Sweep.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace boardsim {
namespace {

// Parts of the final event that are not results of the modules: the event header, the outcome
// (judged on its own) and simulated time (a failed stall only shortens it).
const std::set<std::string> kNotResults = {"seq", "t_us", "phase", "image", "ev", "outcome"};

// The keys whose values differ, one level into objects ("pcd.552", "s3_record.locked").
void DiffKeys(const Json &clean, const Json &run, std::vector<std::string> &out) {
  std::set<std::string> keys;
  for (const Json *side : {&clean, &run})
    for (const auto &item : side->items())
      keys.insert(item.key());
  for (const std::string &key : keys) {
    if (kNotResults.count(key))
      continue;
    const Json a = clean.value(key, Json()), b = run.value(key, Json());
    if (a == b)
      continue;
    if (!a.is_object() || !b.is_object()) {
      out.push_back(key);
      continue;
    }
    std::set<std::string> inner;
    for (const Json *side : {&a, &b})
      for (const auto &item : side->items())
        inner.insert(item.key());
    for (const std::string &name : inner)
      if (a.value(name, Json()) != b.value(name, Json()))
        out.push_back(key + "." + name);
  }
}

std::string Join(const std::vector<std::string> &parts, const char *separator) {
  std::string text;
  for (const std::string &part : parts)
    text += (text.empty() ? "" : separator) + part;
  return text;
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// Images whose entry returned an error it did not return in the clean run. An image that
// returns the injected status itself is reported as passing it on.
std::vector<std::string> ImageErrors(const Json &clean, const Json &run,
                                     const std::string &status) {
  std::vector<std::string> errors;
  for (const Json &image : run.value("images", Json::array())) {
    const std::string name = image.value("image", ""), returned = image.value("status", "");
    const bool wasClean = std::any_of(clean["images"].begin(), clean["images"].end(),
                                      [&](const Json &c) { return c == image; });
    if (wasClean || returned == "EFI_SUCCESS" || returned.rfind("EFI_WARN_", 0) == 0)
      continue;
    errors.push_back(name + (returned == status ? " passes it on" : " returns " + returned));
  }
  return errors;
}

std::vector<std::string> NewFaults(std::vector<std::string> clean,
                                   const std::vector<std::string> &run) {
  std::vector<std::string> added;
  for (const std::string &what : run) {
    auto seen = std::find(clean.begin(), clean.end(), what);
    if (seen == clean.end())
      added.push_back(what);
    else
      clean.erase(seen);
  }
  return added;
}

} // namespace

Verdict Classify(const Observation &clean, const Observation &run, const std::string &status) {
  std::vector<std::string> faults = NewFaults(clean.faults, run.faults);
  if (!faults.empty())
    return {VerdictKind::Fault,
            faults.front() +
                (faults.size() > 1 ? " (+" + std::to_string(faults.size() - 1) + " more)" : "")};
  const bool sameStop =
      clean.final.value("outcome", "") == "halted" &&
      clean.final.value("error_stops", Json()) == run.final.value("error_stops", Json());
  if (run.final.value("outcome", "") == "halted" && !sameStop) {
    std::vector<std::string> codes;
    for (const Json &code : run.final.value("error_stops", Json::array()))
      codes.push_back(Hex(code.get<uint64_t>()));
    return {VerdictKind::Halted, "error stop " + Join(codes, " ")};
  }
  std::vector<std::string> images = ImageErrors(clean.final, run.final, status);
  if (!images.empty())
    return {VerdictKind::ImageError, Join(images, ", ")};
  std::vector<std::string> keys;
  DiffKeys(clean.final, run.final, keys);
  if (!keys.empty())
    return {VerdictKind::Changed, Join(keys, " ")};
  return {};
}

} // namespace boardsim
