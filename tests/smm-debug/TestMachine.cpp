#include "TestMachine.h"
#include <HostBridge.h>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

TestMachine &Machine(void *Context) {
  return *static_cast<TestMachine *>(Context);
}

uint64_t Record(void *Context, AccessKind Kind, uint64_t Address, uint32_t Width, uint64_t Value) {
  Machine(Context).Log.push_back({Kind, Address, Width, Value});
  return Value;
}

template <typename Key>
uint64_t Model(const std::map<Key, std::function<uint64_t()>> &Models, Key Address) {
  auto Found = Models.find(Address);
  return Found == Models.end() ? 0 : Found->second();
}

uint64_t Truncate(uint64_t Value, uint32_t WidthBits) {
  return WidthBits == 64 ? Value : Value & ((uint64_t(1) << WidthBits) - 1);
}

const HOST_BRIDGE kBridge = {
    .IoRead =
        [](void *Context, uint16_t Port, uint32_t Width) {
          return Record(Context, AccessKind::IoRead, Port, Width,
                        Truncate(Model(Machine(Context).PortReads, Port), Width));
        },
    .IoWrite = [](void *Context, uint16_t Port, uint32_t Width,
                  uint64_t Value) { Record(Context, AccessKind::IoWrite, Port, Width, Value); },
    .MmioRead =
        [](void *Context, uint64_t Address, uint32_t Width) {
          return Record(Context, AccessKind::MmioRead, Address, Width,
                        Truncate(Model(Machine(Context).MmioReads, Address), Width));
        },
    .MmioWrite =
        [](void *Context, uint64_t Address, uint32_t Width, uint64_t Value) {
          Record(Context, AccessKind::MmioWrite, Address, Width, Value);
        },
    .ReadMsr =
        [](void *Context, uint32_t Index) {
          return Record(Context, AccessKind::MsrRead, Index, 64, Machine(Context).Msrs[Index]);
        },
    .WriteMsr =
        [](void *Context, uint32_t Index, uint64_t Value) {
          Machine(Context).Msrs[Index] = Value;
          Record(Context, AccessKind::MsrWrite, Index, 64, Value);
        },
    .ReadDr =
        [](void *Context, uint32_t Register) {
          return Record(Context, AccessKind::DrRead, Register, 64,
                        Machine(Context).DebugRegisters[Register]);
        },
    .WriteDr =
        [](void *Context, uint32_t Register, uint64_t Value) {
          Machine(Context).DebugRegisters[Register] = Value;
          Record(Context, AccessKind::DrWrite, Register, 64, Value);
        },
    .ReadCr4 =
        [](void *Context) {
          return Record(Context, AccessKind::Cr4Read, 4, 64, Machine(Context).Cr4);
        },
    .WriteCr4 =
        [](void *Context, uint64_t Value) {
          Machine(Context).Cr4 = Value;
          Record(Context, AccessKind::Cr4Write, 4, 64, Value);
        },
    .Cpuid = [](void *, uint32_t, uint32_t Out[4]) { std::memset(Out, 0, 4 * sizeof(uint32_t)); },
    .ReadTsc = [](void *) -> uint64_t { return 0; },
    .Pause = [](void *) {},
    .PortHandOver =
        [](void *Context, uint32_t Eax, uint32_t Ebx, uint32_t Edx, const void *Text) {
          Record(Context, AccessKind::HandOver, Edx & 0xFFFF, 32, Eax);
          Machine(Context).HandOvers.push_back(
              {Eax, Ebx, Edx, std::string(static_cast<const char *>(Text), Ebx)});
        },
    .CpuidReturnSi =
        [](void *Context, uint32_t Eax, uint32_t, uint16_t) {
          TestMachine &Self = Machine(Context);
          Record(Context, AccessKind::Probe, Eax, 16, Self.ProbeAnswer);
          if (Self.OnProbe) {
            Self.OnProbe();
          }
          return Self.ProbeAnswer;
        },
    .PeiServicesTablePointer = [](void *) -> const void * { return nullptr; },
};

} // namespace

extern "C" void HostBackendAttach(const HOST_BRIDGE *Bridge, void *Context);

TestMachine::TestMachine() {
  HostBackendAttach(&kBridge, this);
}

TestMachine::~TestMachine() {
  HostBackendAttach(nullptr, nullptr);
}

std::function<uint64_t()> TestMachine::StatusRegister(uint64_t NotReady, uint64_t Ready,
                                                      uint64_t ReadyOnRead) {
  auto Reads = std::make_shared<uint64_t>(0);
  return [=] {
    ++*Reads;
    return ReadyOnRead != 0 && *Reads >= ReadyOnRead ? Ready : NotReady;
  };
}

std::vector<Access> TestMachine::Of(std::initializer_list<AccessKind> Kinds) const {
  std::vector<Access> Found;
  for (const Access &Entry : Log) {
    if (std::find(Kinds.begin(), Kinds.end(), Entry.Kind) != Kinds.end()) {
      Found.push_back(Entry);
    }
  }
  return Found;
}

std::vector<Access> TestMachine::At(AccessKind Kind, uint64_t Address) const {
  std::vector<Access> Found;
  for (const Access &Entry : Log) {
    if (Entry.Kind == Kind && Entry.Address == Address) {
      Found.push_back(Entry);
    }
  }
  return Found;
}

std::string TestMachine::BytesWritten(uint16_t Port) const {
  std::string Bytes;
  for (const Access &Entry : At(AccessKind::IoWrite, Port)) {
    if (Entry.Width == 8) {
      Bytes.push_back(char(Entry.Value));
    }
  }
  return Bytes;
}

std::vector<uint32_t> TestMachine::ErrorStops() const {
  std::vector<uint32_t> Codes;
  for (size_t Index = 0; Index + 1 < Log.size(); Index++) {
    const Access &Marker = Log[Index];
    const Access &Code = Log[Index + 1];
    if (Marker.Kind == AccessKind::IoWrite && Marker.Address == 0xE0 && Marker.Width == 16 &&
        Marker.Value == 0xDEAD && Code.Kind == AccessKind::IoWrite && Code.Address == 0x80 &&
        Code.Width == 32) {
      Codes.push_back(uint32_t(Code.Value));
    }
  }
  return Codes;
}
