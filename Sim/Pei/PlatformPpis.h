// Models of the PPIs other PEIMs of the platform provide: the PCD database, read-only variables,
// the stall service, the host SMBus, the BMC transport and the two board table services.
#pragma once
#include <Base.h>

#include <map>
#include <string_view>

namespace boardsim {

class Simulator;

// PPI name -> interface, each allocated in platform memory. The names are the literals the
// models are built under, so the table holds views of them.
using PlatformPpiMap = std::map<std::string_view, void *, std::less<>>;
PlatformPpiMap BuildPlatformPpis(Simulator &sim);

} // namespace boardsim
