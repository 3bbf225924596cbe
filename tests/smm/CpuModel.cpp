#include "CpuModel.h"
#include <HostBridge.h>
#include <algorithm>
#include <stdexcept>

extern "C" void HostBackendAttach(const HOST_BRIDGE *Bridge, void *Context);

namespace {

CpuModel &Model(void *Context) {
  return *static_cast<CpuModel *>(Context);
}

[[noreturn]] void Unexpected(const char *What) {
  throw std::logic_error(std::string("unexpected hardware access: ") + What);
}

const HOST_BRIDGE kBridge = {
    .IoRead = [](void *, uint16_t, uint32_t) -> uint64_t { Unexpected("port read"); },
    .IoWrite =
        [](void *Context, uint16_t Port, uint32_t Width, uint64_t Value) {
          CpuModel &Cpu = Model(Context);
          Cpu.Writes.push_back({Port, Width, Value});
          Cpu.Events.push_back(CpuEvent::PortWrite);
          if (Cpu.Writes.size() >= Cpu.WriteLimit) {
            throw WriteLimitReached{};
          }
        },
    .MmioRead = [](void *, uint64_t, uint32_t) -> uint64_t { Unexpected("MMIO read"); },
    .MmioWrite = [](void *, uint64_t, uint32_t, uint64_t) { Unexpected("MMIO write"); },
    .ReadMsr =
        [](void *Context, uint32_t Index) {
          CpuModel &Cpu = Model(Context);
          Cpu.MsrReads.push_back(Index);
          Cpu.Events.push_back(CpuEvent::MsrRead);
          auto Found = Cpu.Msrs.find(Index);
          return Found == Cpu.Msrs.end() ? uint64_t(0) : Found->second;
        },
    .WriteMsr = [](void *, uint32_t, uint64_t) { Unexpected("MSR write"); },
    .ReadDr = [](void *, uint32_t) -> uint64_t { Unexpected("debug register read"); },
    .WriteDr = [](void *, uint32_t, uint64_t) { Unexpected("debug register write"); },
    .ReadCr4 = [](void *) -> uint64_t { Unexpected("CR4 read"); },
    .WriteCr4 = [](void *, uint64_t) { Unexpected("CR4 write"); },
    .Cpuid = [](void *, uint32_t, uint32_t *) { Unexpected("CPUID"); },
    .ReadTsc =
        [](void *Context) {
          CpuModel &Cpu = Model(Context);
          const uint64_t Value = Cpu.Tsc;
          Cpu.Tsc += Cpu.TscStepPerRead;
          Cpu.TscReads.push_back(Value);
          Cpu.Events.push_back(CpuEvent::TscRead);
          return Value;
        },
    .Pause =
        [](void *Context) {
          CpuModel &Cpu = Model(Context);
          Cpu.Tsc += Cpu.TscStepPerPause;
          Cpu.Events.push_back(CpuEvent::Pause);
        },
    .PortHandOver = [](void *, uint32_t, uint32_t, uint32_t,
                       const void *) { Unexpected("port hand-over"); },
    .CpuidReturnSi =
        [](void *Context, uint32_t Eax, uint32_t Ebx, uint16_t Si) {
          CpuModel &Cpu = Model(Context);
          Cpu.Probes.push_back({Eax, Ebx, Si});
          Cpu.Events.push_back(CpuEvent::Probe);
          return Cpu.ProbeAnswer;
        },
    .PeiServicesTablePointer = [](void *) -> const void * { Unexpected("PEI services"); },
};

} // namespace

CpuModel::CpuModel() {
  HostBackendAttach(&kBridge, this);
}

CpuModel::~CpuModel() {
  HostBackendAttach(nullptr, nullptr);
}

size_t CpuModel::Count(CpuEvent Event) const {
  return std::ranges::count(Events, Event);
}
