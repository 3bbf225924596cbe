#include "Board/BoardSections.h"

namespace boardsim {

void ReadCpuSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("cpu");
  if (!section)
    return;
  CpuConfig &cpu = board.cpu;
  for (const NumberedEntry &msr : section->NumberedTable("msr", UINT32_MAX, "MSR index")) {
    if (auto value = section->reader().Unsigned(*msr.value, msr.key, 0, UINT64_MAX)) {
      cpu.msr[static_cast<uint32_t>(msr.number)] = *value; // merged over the defaults
    }
  }
  section->Unsigned("dr2", cpu.dr2);
  section->Unsigned("dr3", cpu.dr3);
  section->Unsigned("dr7", cpu.dr7);
  section->Unsigned("cr4", cpu.cr4);
  section->Unsigned("error_stop_probe", cpu.error_stop_probe);
  section->Unsigned("error_stop_cycles", cpu.error_stop_cycles);
  section->Unsigned("tsc_per_pause", cpu.tsc_per_pause);
  section->RejectUnknownKeys();
}

void ReadS3SaveSmmSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("s3savesmm");
  if (!section)
    return;
  S3SaveSmmSettings &settings = board.s3savesmm;
  section->Unsigned("DebugPrintEnable", settings.DebugPrintEnable);
  section->Unsigned("BreakpointChannelEnable", settings.BreakpointChannelEnable);
  section->Unsigned("FramedPortAddress", settings.FramedPortAddress);
  section->Unsigned("SerialPortBase", settings.SerialPortBase);
  section->Unsigned("DefaultDebugFilter", settings.DefaultDebugFilter);
  section->RejectUnknownKeys();
}

} // namespace boardsim
