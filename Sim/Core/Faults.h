// [[fault]] injection: a service call that matches a fault entry returns the entry's status. An
// error status means the call has no effect; a warning means it is performed and returns the
// warning. Each call an entry chose shows in the trace with the status it returned.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <Base.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

class Faults;

// What the [[fault]] entries make of one call. Run performs the call unless an entry fails it,
// turns a success into an entry's warning, and reports a call an entry chose to the trace.
class Injected {
public:
  Injected() = default;
  Injected(Faults &faults, Status status, std::string call, std::string target)
      : faults_(&faults), status_(status), call_(std::move(call)), target_(std::move(target)) {}

  bool Chosen() const { return status_.has_value(); }

  // `call` does the work and returns its own status; it is not run when an entry fails the call.
  // A warning never hides a failure: a call that failed by itself returns its own error.
  template <typename Call> Status Run(Call &&call) const {
    if (!status_)
      return call();
    Status returned = *status_;
    if (!IsError(*status_)) {
      const Status performed = call();
      if (IsError(performed))
        returned = performed;
    }
    Report(returned);
    return returned;
  }

private:
  void Report(Status returned) const;

  Faults *faults_ = nullptr;
  std::optional<Status> status_;
  std::string call_;   // as the entry names it: "dxe.LocateProtocol"
  std::string target_; // the protocol, PPI or variable the call is about, or empty
};

// One service or member call as a [[fault]] entry would name it.
struct CheckedCall {
  std::string call;   // "smm.SmmAllocatePool", "pei.EFI_PEI_STALL_PPI.Stall"
  std::string image;  // "S3SaveSmm#1", or "platform"
  std::string target; // the protocol, PPI or variable named, when the call names one
};

class Faults {
public:
  // Told of each call an entry chose: the entry's call name, the target and the status returned.
  using Reporter = std::function<void(const std::string &call, const std::string &target, Status)>;
  Faults(const std::vector<FaultSpec> &specs, Reporter report);

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
  friend class Injected;
  // Counts the call "phase.call" against the entries that name it.
  Injected Match(std::string_view phase, std::string_view call, std::string_view image,
                 const EFI_GUID *targetGuid, std::string_view targetName);
  void Note(Phase phase, std::string_view call, std::string_view image, const EFI_GUID *targetGuid,
            std::string_view targetName);

  struct Entry {
    FaultSpec spec;
    Status status;
    uint32_t seen = 0;
  };
  std::vector<Entry> entries_;
  Reporter report_;
  bool record_ = false;
  std::vector<CheckedCall> recorded_;
};

} // namespace boardsim
