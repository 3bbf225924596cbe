// A processor and I/O-port model for unit tests of the SMM driver, attached as the host backend's
// bridge. It records what the code under test does, and it can end an endless loop by throwing
// from a port write.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

struct PortWrite {
  uint16_t Port;
  uint32_t Width;
  uint64_t Value;
  bool operator==(const PortWrite &) const = default;
};

// What happened, in order: enough to check what a busy-wait did between two port writes.
enum class CpuEvent { PortWrite, MsrRead, TscRead, Pause, Probe };

struct ProbeCall {
  uint32_t Eax;
  uint32_t Ebx;
  uint16_t Si;
};

// Thrown by a port write once the write limit is reached.
struct WriteLimitReached {};

struct CpuModel {
  std::map<uint32_t, uint64_t> Msrs; // unlisted MSRs read 0
  uint64_t Tsc = 1000;
  uint64_t TscStepPerRead = 1;
  uint64_t TscStepPerPause = 0;
  uint16_t ProbeAnswer = 0;
  size_t WriteLimit = std::numeric_limits<size_t>::max();

  std::vector<PortWrite> Writes;
  std::vector<uint32_t> MsrReads;
  std::vector<uint64_t> TscReads;
  std::vector<ProbeCall> Probes;
  std::vector<CpuEvent> Events;

  CpuModel();
  ~CpuModel();
  size_t Count(CpuEvent Event) const;
};
