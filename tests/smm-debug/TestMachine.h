// The hardware seen by the debug channels and the S3 save library in unit tests: I/O ports,
// memory-mapped registers, MSRs, debug registers, CR4, the debug agent's port hand-over and the
// error-stop release probe. Attached as the host backend's bridge; every access is recorded in
// order.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

enum class AccessKind {
  IoRead,
  IoWrite,
  MmioRead,
  MmioWrite,
  MsrRead,
  MsrWrite,
  DrRead,
  DrWrite,
  Cr4Read,
  Cr4Write,
  HandOver,
  Probe
};

struct Access {
  AccessKind Kind;
  uint64_t Address; // port, memory address, MSR index or debug register number
  uint32_t Width;   // bits, for port and memory accesses
  uint64_t Value;
  bool operator==(const Access &) const = default;
};

struct HandOverCall {
  uint32_t Eax;
  uint32_t Ebx;
  uint32_t Edx;
  std::string Text; // the Ebx bytes at the full address the module passed
};

class TestMachine {
public:
  TestMachine();
  ~TestMachine();

  // Register models. A port or memory address without a model reads 0.
  std::map<uint16_t, std::function<uint64_t()>> PortReads;
  std::map<uint64_t, std::function<uint64_t()>> MmioReads;
  std::map<uint32_t, uint64_t> Msrs;
  std::map<uint32_t, uint64_t> DebugRegisters;
  uint64_t Cr4 = 0;
  // What the error-stop probe leaves in SI; non-zero releases the stop.
  uint16_t ProbeAnswer = 1;
  // Runs when the probe is asked, as an agent that looks at the machine before releasing it.
  std::function<void()> OnProbe;

  std::vector<Access> Log;
  std::vector<HandOverCall> HandOvers;

  // A status register that shows Ready from its ReadyOnRead-th read on (1-based, counted per
  // model) and NotReady before; ReadyOnRead 0 never becomes ready.
  static std::function<uint64_t()> StatusRegister(uint64_t NotReady, uint64_t Ready,
                                                  uint64_t ReadyOnRead);

  std::vector<Access> Of(std::initializer_list<AccessKind> Kinds) const;
  std::vector<Access> At(AccessKind Kind, uint64_t Address) const;
  // Bytes of the 8-bit writes to Port, in order.
  std::string BytesWritten(uint16_t Port) const;
  // Codes announced by error stops (a 16-bit 0xDEAD on port 0xE0 followed by the code on 0x80).
  std::vector<uint32_t> ErrorStops() const;
};
