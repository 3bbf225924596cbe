// The PEI foundation's PPI database (PI 1.8 volume 1, chapter 4): installed descriptors in
// installation order, and callback notifications that fire once per registration, when their
// PPI is first installed, or at once (nested in NotifyPpi) when it already exists.
#pragma once
#include "Core/Status.h"

#include <Pi/PiPei.h>

#include <vector>

namespace boardsim {

class Simulator;

class PpiDatabase {
public:
  explicit PpiDatabase(Simulator &sim);

  // The services pointer handed to notification callbacks.
  void SetServices(const EFI_PEI_SERVICES **services) { services_ = services; }

  Status Install(const EFI_PEI_PPI_DESCRIPTOR *list);
  Status Notify(const EFI_PEI_NOTIFY_DESCRIPTOR *list);
  Status Locate(const EFI_GUID &guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR **descriptor,
                void **ppi);

private:
  struct Installed {
    EFI_GUID guid;
    EFI_PEI_PPI_DESCRIPTOR *descriptor;
  };
  struct Registration {
    EFI_GUID guid;
    EFI_PEI_NOTIFY_DESCRIPTOR *descriptor;
    bool fired = false;
  };
  void Fire(Registration &registration, const Installed &ppi);

  Simulator &sim_;
  const EFI_PEI_SERVICES **services_ = nullptr;
  std::vector<Installed> installed_;
  std::vector<Registration> registrations_;
};

} // namespace boardsim
