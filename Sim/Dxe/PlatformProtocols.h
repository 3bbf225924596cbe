// Models of the platform protocols that the board's DXE driver meets: PCD_PROTOCOL and the setup
// item service. Others (the platform signal and ready-to-lock protocols) carry no members the
// modules call and get an empty interface.
#pragma once

namespace boardsim {
class DxeCore;
class Simulator;
void RegisterPlatformProtocols(Simulator &sim, DxeCore &dxe);
} // namespace boardsim
