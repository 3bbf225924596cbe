// The PEI foundation: the PEI services table, the PPI database with its notifications, the PEI
// pool, and models of the platform PPIs the board's PEI modules meet.
#pragma once
#include "Board/Board.h"
#include "Pei/PlatformPpis.h"

#include <memory>
#include <string_view>

namespace boardsim {

class Simulator;
class PpiDatabase;
struct ImageInstance;

class PeiCore {
public:
  explicit PeiCore(Simulator &sim);
  ~PeiCore();

  // Installs the PPIs that [services] says exist from the start (traced).
  void Start();
  // What GetPeiServicesTablePointer returns in a PEIM (const EFI_PEI_SERVICES **).
  const void *ServicesTablePointer() const;
  PpiDatabase &ppis();
  // The platform PPI models by name (host layout), for the image engine's IA32 twins.
  const PlatformPpiMap &PlatformPpiModels() const;
  // Boot-script steps.
  void InstallPlatformPpi(std::string_view name);
  void Dispatch(ImageInstance &image);
  void CallBoardInfoPpi(const BootStep &step);

private:
  struct State;
  Simulator &sim_;
  std::unique_ptr<State> state_;
};

} // namespace boardsim
