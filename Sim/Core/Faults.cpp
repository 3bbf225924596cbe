#include "Core/Faults.h"

#include "Core/GuidNames.h"

namespace boardsim {
namespace {

// "S3SaveSmm" matches every instance of the module, "S3SaveSmm#2" only that one.
bool ImageMatches(const std::string &wanted, std::string_view image) {
  if (wanted == image)
    return true;
  return wanted.find('#') == std::string::npos && image.size() > wanted.size() &&
         image.substr(0, wanted.size()) == wanted && image[wanted.size()] == '#';
}

// Whether `wanted` is "phase.call", without building that name for every call checked.
bool NamesCall(const std::string &wanted, std::string_view phase, std::string_view call) {
  const std::string_view name = wanted;
  return name.size() == phase.size() + 1 + call.size() && name.starts_with(phase) &&
         name[phase.size()] == '.' && name.ends_with(call);
}

std::string TargetName(const EFI_GUID *guid, std::string_view name) {
  if (!name.empty() || !guid)
    return std::string(name);
  const char *known = GuidName(*guid);
  return known ? known : GuidText(*guid);
}

bool TargetMatches(const std::string &wanted, const EFI_GUID *guid, std::string_view name) {
  if (!name.empty() && wanted == name)
    return true;
  if (!guid)
    return false;
  auto parsed = GuidFromText(wanted);
  return parsed && SameGuid(*parsed, *guid);
}

} // namespace

void Injected::Report(Status returned) const {
  faults_->report_(call_, target_, returned);
}

Faults::Faults(const std::vector<FaultSpec> &specs, Reporter report) : report_(std::move(report)) {
  for (const FaultSpec &spec : specs)
    entries_.push_back({spec, StatusFromName(spec.status).value_or(kErrorBit | 9)});
}

void Faults::Note(Phase phase, std::string_view call, std::string_view image,
                  const EFI_GUID *targetGuid, std::string_view targetName) {
  if (!record_)
    return;
  recorded_.push_back({std::string(PhaseName(phase)) + "." + std::string(call), std::string(image),
                       TargetName(targetGuid, targetName)});
}

Injected Faults::Match(std::string_view phase, std::string_view call, std::string_view image,
                       const EFI_GUID *targetGuid, std::string_view targetName) {
  Injected result;
  for (Entry &entry : entries_) {
    const FaultSpec &spec = entry.spec;
    if (!NamesCall(spec.call, phase, call))
      continue;
    if (spec.image && !ImageMatches(*spec.image, image))
      continue;
    if (spec.target && !TargetMatches(*spec.target, targetGuid, targetName))
      continue;
    ++entry.seen;
    if (!result.Chosen() && (!spec.nth || *spec.nth == entry.seen))
      result = Injected(*this, entry.status, spec.call, TargetName(targetGuid, targetName));
  }
  return result;
}

Injected Faults::Check(Phase phase, std::string_view call, std::string_view image,
                       const EFI_GUID *targetGuid, std::string_view targetName) {
  Note(phase, call, image, targetGuid, targetName);
  if (entries_.empty())
    return {};
  return Match(PhaseName(phase), call, image, targetGuid, targetName);
}

Injected Faults::CheckBootSide(Phase phase, std::string_view call, std::string_view image,
                               const EFI_GUID *targetGuid, std::string_view targetName) {
  Note(phase, call, image, targetGuid, targetName);
  if (entries_.empty())
    return {};
  Injected injected = Match(PhaseName(phase), call, image, targetGuid, targetName);
  if (phase != Phase::Dxe) {
    Injected dxe = Match(PhaseName(Phase::Dxe), call, image, targetGuid, targetName);
    if (!injected.Chosen())
      injected = dxe;
  }
  return injected;
}

} // namespace boardsim
