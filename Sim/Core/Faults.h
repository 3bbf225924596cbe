// [[fault]] injection: a service call that matches a fault entry returns the entry's status. An
// error status means the call has no effect; a warning means it is performed and returns the
// warning.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <Base.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

struct Injected {
  std::optional<Status> status;
  bool Fails() const { return status && IsError(*status); }
  bool Warns() const { return status && !IsError(*status); }
  // The status to return for a call that was performed and returned `performed`. A warning
  // never hides a failure: a call that failed by itself returns its own error.
  Status Apply(Status performed) const {
    return Warns() && !IsError(performed) ? *status : performed;
  }
};

// One service or member call as a [[fault]] entry would name it.
struct CheckedCall {
  std::string call;   // "smm.SmmAllocatePool", "pei.EFI_PEI_STALL_PPI.Stall"
  std::string image;  // "S3SaveSmm#1", or "platform"
  std::string target; // the protocol, PPI or variable named, when the call names one
};

class Faults {
public:
  explicit Faults(const std::vector<FaultSpec> &specs);

  // Keeps every call checked from now on, in order (a sweep finds the call sites this way).
  void Record(bool on) { record_ = on; }
  const std::vector<CheckedCall> &Recorded() const { return recorded_; }

  // Counts the call against every matching entry. `call` is "Service" or "NAME.Member" (the phase
  // is added here); `target` names the protocol, PPI or variable the call is about.
  Injected Check(Phase phase, std::string_view call, std::string_view image,
                 const EFI_GUID *targetGuid = nullptr, std::string_view targetName = {});

  // A boot service or a member of a boot-services protocol: board files name it "dxe.X", and a
  // call from SMM or PEI code also matches its own phase ("smm.X").
  Injected CheckBootSide(Phase phase, std::string_view call, std::string_view image,
                         const EFI_GUID *targetGuid = nullptr, std::string_view targetName = {});

private:
  Injected Match(const std::string &call, std::string_view image, const EFI_GUID *targetGuid,
                 std::string_view targetName);
  void Note(Phase phase, std::string_view call, std::string_view image, const EFI_GUID *targetGuid,
            std::string_view targetName);

  struct Entry {
    FaultSpec spec;
    Status status;
    uint32_t seen = 0;
  };
  std::vector<Entry> entries_;
  bool record_ = false;
  std::vector<CheckedCall> recorded_;
};

} // namespace boardsim
