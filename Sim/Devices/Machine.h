// The board's hardware: PCI configuration space (ECAM and the 0xCF8/0xCFC ports), the host
// register window, the NICs, the SMBus and its devices, the BMC, the UARTs, the POST-code ports,
// the debug agent behind the I/O breakpoint, and the processor's registers. Every access is
// reported to the trace as the hardware saw it.
#pragma once
#include "Board/Board.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace boardsim {

class Simulator;

enum class SmbusOp { WriteByte, ReadByte };

// Text the debug agent collected at one I/O-breakpoint hand-over.
struct DebugHandOver {
  uint32_t eax = 0; // low 32 bits of the text's address
  uint32_t ebx = 0; // its length
  std::vector<uint8_t> text;
};

class Machine {
public:
  Machine(Simulator &sim, const Board &board);
  ~Machine();

  // Port I/O (widths in bits: 8, 16, 32).
  uint64_t IoRead(uint16_t port, unsigned width);
  void IoWrite(uint16_t port, unsigned width, uint64_t value);
  // Device memory: ECAM, BARs, memory-mapped UARTs. Addresses no device claims read all ones.
  bool IsDeviceMemory(uint64_t address) const;
  uint64_t MmioRead(uint64_t address, unsigned width);
  void MmioWrite(uint64_t address, unsigned width, uint64_t value);

  // Processor.
  uint64_t ReadMsr(uint32_t index);
  void WriteMsr(uint32_t index, uint64_t value);
  uint64_t ReadDr(unsigned reg);
  void WriteDr(unsigned reg, uint64_t value);
  uint64_t ReadCr4();
  void WriteCr4(uint64_t value);
  void Cpuid(uint32_t leaf, uint32_t out[4]);
  uint64_t ReadTsc();
  void Pause();
  // The 32-bit OUT to 0x99CC with EAX/EBX/EDX loaded; `text` is the full address of the bytes.
  void PortHandOver(uint32_t eax, uint32_t ebx, uint32_t edx, const void *text);
  uint16_t CpuidReturnSi(uint32_t eax, uint32_t ebx, uint16_t si);

  // The host SMBus controller as the SMBus PPI drives it: one byte transaction.
  Status SmbusExecute(uint8_t address, uint8_t command, SmbusOp op, uint8_t &data);
  // The BMC behind BMC_TRANSPORT_PPI: one request; `responseSize` holds the capacity on input.
  Status BmcSend(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t *request,
                 uint32_t requestSize, uint8_t *response, uint8_t &responseSize);

  // The machine's contribution to the final event: smbus, host_registers, pci_command,
  // uart_text, port80, error_stops, dr, cr4, msr.
  void FillFinal(Json &final) const;
  // Every hand-over the debug agent collected text from, in order.
  const std::vector<DebugHandOver> &HandOvers() const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace boardsim
