#include "Devices/Machine.h"

#include "Core/Simulator.h"
#include "Devices/Bmc.h"
#include "Devices/Cpu.h"
#include "Devices/DebugAgent.h"
#include "Devices/PciSpace.h"
#include "Devices/PostCodes.h"
#include "Devices/Smbus.h"
#include "Devices/Uart.h"

namespace boardsim {
namespace {

constexpr uint64_t kEcamBase = 0xF0000000;
constexpr uint64_t kPauseWatchdog = 1'000'000;
constexpr uint64_t kEcamEnd = uint64_t{1} << 32; // 256 buses of 1 MiB
constexpr uint64_t kDeviceHoleBase = 0xC0000000;
constexpr uint16_t kConfigAddressPort = 0xCF8;
constexpr uint16_t kConfigDataPort = 0xCFC;
constexpr uint32_t kConfigEnable = 0x80000000;

constexpr uint64_t AllOnes(unsigned width) {
  return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}
constexpr bool IsIoWidth(unsigned width) {
  return width == 8 || width == 16 || width == 32;
}
constexpr bool IsMemoryWidth(unsigned width) {
  return IsIoWidth(width) || width == 64;
}

// Bytes 0x80-0xFF become the code points U+0080-U+00FF, so that any byte a UART sends can be
// shown as JSON text.
std::string Latin1ToUtf8(const std::string &bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | byte >> 6));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

// The UART whose register span in I/O or memory space holds `address`.
template <typename Uarts> auto FindUart(Uarts &uarts, uint64_t address, bool memory) {
  for (auto &uart : uarts) {
    if (uart.memoryMapped() == memory && address >= uart.base() &&
        address - uart.base() < (memory ? kMemoryUartSpan : kUartRegisterCount)) {
      return &uart;
    }
  }
  return static_cast<decltype(&uarts.front())>(nullptr);
}

std::vector<Uart16550> MakeUarts(const std::vector<UartConfig> &configs) {
  std::vector<Uart16550> uarts;
  auto configure = [&](const UartConfig &config) {
    for (Uart16550 &uart : uarts) {
      if (uart.base() == config.base) {
        uart = Uart16550(config);
        return;
      }
    }
    uarts.emplace_back(config);
  };
  configure(UartConfig{}); // the legacy UART, which an entry for its base configures
  for (const UartConfig &config : configs)
    configure(config);
  return uarts;
}

} // namespace

struct Machine::State {
  State(Simulator &simulator, const Board &board)
      : sim(simulator), cpu(simulator, board.cpu),
        pci(board, [&simulator] { return simulator.NowUs(); }), smbus(simulator, board.smbus),
        bmc(simulator, board.bmc), uarts(MakeUarts(board.uarts)), post(simulator, board.cpu),
        agent(simulator) {}

  Uart16550 *UartAt(uint64_t address, bool memory) { return FindUart(uarts, address, memory); }
  const Uart16550 *UartAt(uint64_t address, bool memory) const {
    return FindUart(uarts, address, memory);
  }

  // The function and offset that a data-port access reaches, when the address port enables one.
  bool ConfigTarget(uint16_t port, uint16_t &bdf, uint32_t &offset) const {
    if (!(configAddress & kConfigEnable))
      return false;
    bdf = static_cast<uint16_t>(configAddress >> 8);
    offset = (configAddress & 0xFC) + (port - kConfigDataPort);
    return true;
  }

  uint64_t ReadPorts(uint16_t port, unsigned width) {
    const unsigned size = width / 8;
    if (port == kConfigAddressPort && width == 32)
      return configAddress;
    if (port >= kConfigDataPort && port < kConfigDataPort + 4) {
      uint16_t bdf;
      uint32_t offset;
      return ConfigTarget(port, bdf, offset) ? pci.Read(bdf, offset, size) : AllOnes(width);
    }
    // Anything else is byte-wide ISA-style decoding; unclaimed bytes read all ones.
    uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) {
      const uint16_t at = static_cast<uint16_t>(port + i);
      Uart16550 *uart = UartAt(at, false);
      const uint8_t byte = uart ? uart->Read(*uart->RegisterAt(at)) : 0xFF;
      value |= uint64_t{byte} << (8 * i);
    }
    return value;
  }

  void WritePorts(uint16_t port, unsigned width, uint64_t value) {
    const unsigned size = width / 8;
    if (port == kConfigAddressPort && width == 32) {
      configAddress = static_cast<uint32_t>(value);
    } else if (port >= kConfigDataPort && port < kConfigDataPort + 4) {
      uint16_t bdf;
      uint32_t offset;
      if (ConfigTarget(port, bdf, offset))
        pci.Write(bdf, offset, size, value);
    } else {
      for (unsigned i = 0; i < size; ++i) {
        const uint16_t at = static_cast<uint16_t>(port + i);
        if (Uart16550 *uart = UartAt(at, false)) {
          uart->Write(*uart->RegisterAt(at), static_cast<uint8_t>(value >> (8 * i)));
        }
      }
    }
    // Last: an error stop that nobody releases ends the run here.
    post.PortWritten(port, width, static_cast<uint32_t>(value));
  }

  Simulator &sim;
  Cpu cpu;
  PciSpace pci;
  SmbusHost smbus;
  Bmc bmc;
  std::vector<Uart16550> uarts;
  PostCodes post;
  DebugAgent agent;
  uint32_t configAddress = 0;
  uint64_t pauses = 0;
};

Machine::Machine(Simulator &sim, const Board &board)
    : state_(std::make_unique<State>(sim, board)) {}

Machine::~Machine() = default;

uint64_t Machine::IoRead(uint16_t port, unsigned width) {
  State &s = *state_;
  if (!IsIoWidth(width)) {
    s.sim.Fault("port read of width " + std::to_string(width));
    return AllOnes(32);
  }
  const uint64_t value = s.ReadPorts(port, width);
  s.sim.Emit("io", [&](Json &e) {
    e["dir"] = "in";
    e["port"] = port;
    e["width"] = width;
    e["value"] = value;
  });
  return value;
}

void Machine::IoWrite(uint16_t port, unsigned width, uint64_t value) {
  State &s = *state_;
  if (!IsIoWidth(width)) {
    s.sim.Fault("port write of width " + std::to_string(width));
    return;
  }
  value &= AllOnes(width);
  s.sim.Emit("io", [&](Json &e) {
    e["dir"] = "out";
    e["port"] = port;
    e["width"] = width;
    e["value"] = value;
  });
  s.WritePorts(port, width, value);
}

bool Machine::IsDeviceMemory(uint64_t address) const {
  const State &s = *state_;
  return (address >= kDeviceHoleBase && address < kEcamEnd) || s.UartAt(address, true) ||
         s.pci.InBar(address);
}

uint64_t Machine::MmioRead(uint64_t address, unsigned width) {
  State &s = *state_;
  if (!IsMemoryWidth(width)) {
    s.sim.Fault("device memory read of width " + std::to_string(width));
    return AllOnes(64);
  }
  const unsigned size = width / 8;
  if (address >= kEcamBase && address < kEcamEnd) {
    const auto bdf = static_cast<uint16_t>((address - kEcamBase) >> 12);
    const auto offset = static_cast<uint32_t>(address & 0xFFF);
    const uint64_t value = s.pci.Read(bdf, offset, size);
    s.sim.Emit("pci_cfg", [&](Json &e) {
      e["dir"] = "read";
      e["bdf"] = BdfText(BdfFrom16(bdf));
      e["offset"] = offset;
      e["width"] = width;
      e["value"] = value;
    });
    return value;
  }
  uint64_t value = AllOnes(width);
  if (Uart16550 *uart = s.UartAt(address, true)) {
    const auto reg = uart->RegisterAt(address);
    value = reg ? uart->Read(*reg) : 0;
  } else if (auto bar = s.pci.FindBar(address)) {
    value = 0;
    for (unsigned i = 0; i < size; ++i) {
      value |= uint64_t{bar->memory->ReadByte(bar->offset + i)} << (8 * i);
    }
  }
  s.sim.Emit("mmio", [&](Json &e) {
    e["dir"] = "read";
    e["addr"] = address;
    e["width"] = width;
    e["value"] = value;
  });
  return value;
}

void Machine::MmioWrite(uint64_t address, unsigned width, uint64_t value) {
  State &s = *state_;
  if (!IsMemoryWidth(width)) {
    s.sim.Fault("device memory write of width " + std::to_string(width));
    return;
  }
  const unsigned size = width / 8;
  value &= AllOnes(width);
  if (address >= kEcamBase && address < kEcamEnd) {
    const auto bdf = static_cast<uint16_t>((address - kEcamBase) >> 12);
    const auto offset = static_cast<uint32_t>(address & 0xFFF);
    s.sim.Emit("pci_cfg", [&](Json &e) {
      e["dir"] = "write";
      e["bdf"] = BdfText(BdfFrom16(bdf));
      e["offset"] = offset;
      e["width"] = width;
      e["value"] = value;
    });
    s.pci.Write(bdf, offset, size, value);
    return;
  }
  s.sim.Emit("mmio", [&](Json &e) {
    e["dir"] = "write";
    e["addr"] = address;
    e["width"] = width;
    e["value"] = value;
  });
  if (Uart16550 *uart = s.UartAt(address, true)) {
    if (const auto reg = uart->RegisterAt(address))
      uart->Write(*reg, static_cast<uint8_t>(value));
  } else if (auto bar = s.pci.FindBar(address)) {
    for (unsigned i = 0; i < size; ++i) {
      bar->memory->WriteByte(bar->offset + i, static_cast<uint8_t>(value >> (8 * i)));
    }
  }
}

uint64_t Machine::ReadMsr(uint32_t index) {
  return state_->cpu.ReadMsr(index);
}
void Machine::WriteMsr(uint32_t index, uint64_t value) {
  state_->cpu.WriteMsr(index, value);
}
uint64_t Machine::ReadDr(unsigned reg) {
  return state_->cpu.ReadDr(reg);
}
void Machine::WriteDr(unsigned reg, uint64_t value) {
  state_->cpu.WriteDr(reg, value);
}
uint64_t Machine::ReadCr4() {
  return state_->cpu.ReadCr4();
}
void Machine::WriteCr4(uint64_t value) {
  state_->cpu.WriteCr4(value);
}
void Machine::Cpuid(uint32_t leaf, uint32_t out[4]) {
  state_->cpu.Cpuid(leaf, out);
}
uint64_t Machine::ReadTsc() {
  return state_->cpu.ReadTsc();
}
// A processor spinning this long in PAUSE loops is stuck for good (for example an error stop
// whose display loop a released probe did not end): the run is halted instead of hanging.
void Machine::Pause() {
  state_->cpu.Pause();
  if (++state_->pauses > kPauseWatchdog) {
    state_->sim.Fault("watchdog: the processor spun in PAUSE loops without end");
    state_->sim.Halt();
  }
}

uint16_t Machine::CpuidReturnSi(uint32_t eax, uint32_t ebx, uint16_t si) {
  State &s = *state_;
  const uint16_t answer = s.cpu.CpuidReturnSi(eax, ebx, si);
  if (eax == kErrorStopProbeLeaf && ebx == kErrorStopProbeEbx)
    s.post.ProbeAnswered(answer);
  return answer;
}

void Machine::PortHandOver(uint32_t eax, uint32_t ebx, uint32_t edx, const void *text) {
  State &s = *state_;
  const auto port = static_cast<uint16_t>(edx);
  if (port != kBreakpointPort) {
    IoWrite(port, 32, eax);
    return;
  }
  static const std::vector<uint8_t> kNothing;
  const std::vector<uint8_t> &collected =
      s.cpu.BreakpointArmed() ? s.agent.Collect(eax, ebx, edx, text) : kNothing;
  // EAX carries the text's address (its low 32 bits from 64-bit code).
  const uint32_t shownEax = eax == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text))
                                ? static_cast<uint32_t>(s.sim.TraceAddress(text))
                                : eax;
  s.sim.Emit("io", [&](Json &e) {
    e["dir"] = "out";
    e["port"] = port;
    e["width"] = 32;
    e["value"] = shownEax;
    e["eax"] = shownEax;
    e["ebx"] = ebx;
    e["edx"] = edx;
    e["text"] = HexBytes(collected);
  });
  s.WritePorts(port, 32, eax);
}

Status Machine::SmbusExecute(uint8_t address, uint8_t command, SmbusOp op, uint8_t &data) {
  return state_->smbus.Execute(address, command, op, data);
}

Status Machine::BmcSend(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t *request,
                        uint32_t requestSize, uint8_t *response, uint8_t &responseSize) {
  return state_->bmc.Send(netFn, lun, command, request, requestSize, response, responseSize);
}

void Machine::FillFinal(Json &final) const {
  const State &s = *state_;
  AddMember(final, "smbus", s.smbus.Registers());
  AddMember(final, "host_registers", s.pci.hostWindow().WrittenRegisters());
  AddMember(final, "pci_command", s.pci.WrittenCommands());
  Json &uartText = AddMember(final, "uart_text", ObjectWithRoom(s.uarts.size()));
  for (const Uart16550 &uart : s.uarts) // one per base
    AddMember(uartText, std::to_string(uart.base()), Latin1ToUtf8(uart.text()));
  AddMember(final, "port80", s.post.Port80());
  AddMember(final, "error_stops", s.post.errorStops());
  s.cpu.FillFinal(final);
}

const std::vector<DebugHandOver> &Machine::HandOvers() const {
  return state_->agent.handOvers();
}

} // namespace boardsim
