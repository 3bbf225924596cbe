// Models of the PPIs other PEIMs of the platform provide: the PCD database, read-only variables,
// the stall service, the host SMBus, the BMC transport and the two board table services.
#pragma once
#include <Base.h>

#include <map>
#include <string>

namespace boardsim {

class Simulator;

// PPI name -> interface, each allocated in platform memory.
std::map<std::string, void *> BuildPlatformPpis(Simulator &sim);

} // namespace boardsim
