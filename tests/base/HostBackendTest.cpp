// The host backend turns each hardware routine into the bridge call the simulator expects:
// right width, register number, value and order, tagged with the attached context.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <HostBridge.h>
#include <Library/CpuLib.h>
#include <Library/IoLib.h>
#include <Library/PeiServicesTablePointerLib.h>

extern "C" void HostBackendAttach(const HOST_BRIDGE *Bridge, void *Context);

namespace {

struct Call {
  std::string What;
  uint64_t A = 0;
  uint64_t B = 0;
  uint64_t C = 0;
  bool operator==(const Call &) const = default;
};

std::ostream &operator<<(std::ostream &Stream, const Call &Entry) {
  return Stream << Entry.What << "(" << std::hex << Entry.A << ", " << Entry.B << ", " << Entry.C
                << ")";
}

// A bridge that records every call and answers reads with fixed values.
struct Recorder {
  std::vector<Call> Calls;
  uint64_t ReadAnswer = 0;
  const void *Text = nullptr;
  const void *PeiServices = nullptr;
};

Recorder &Of(void *Context) {
  return *static_cast<Recorder *>(Context);
}

const HOST_BRIDGE kRecordingBridge = {
    [](void *Context, uint16_t Port, uint32_t Width) {
      Of(Context).Calls.push_back({"io_read", Port, Width});
      return Of(Context).ReadAnswer;
    },
    [](void *Context, uint16_t Port, uint32_t Width, uint64_t Value) {
      Of(Context).Calls.push_back({"io_write", Port, Width, Value});
    },
    [](void *Context, uint64_t Address, uint32_t Width) {
      Of(Context).Calls.push_back({"mmio_read", Address, Width});
      return Of(Context).ReadAnswer;
    },
    [](void *Context, uint64_t Address, uint32_t Width, uint64_t Value) {
      Of(Context).Calls.push_back({"mmio_write", Address, Width, Value});
    },
    [](void *Context, uint32_t Index) {
      Of(Context).Calls.push_back({"msr_read", Index});
      return Of(Context).ReadAnswer;
    },
    [](void *Context, uint32_t Index, uint64_t Value) {
      Of(Context).Calls.push_back({"msr_write", Index, Value});
    },
    [](void *Context, uint32_t Register) {
      Of(Context).Calls.push_back({"dr_read", Register});
      return Of(Context).ReadAnswer;
    },
    [](void *Context, uint32_t Register, uint64_t Value) {
      Of(Context).Calls.push_back({"dr_write", Register, Value});
    },
    [](void *Context) {
      Of(Context).Calls.push_back({"cr4_read"});
      return Of(Context).ReadAnswer;
    },
    [](void *Context, uint64_t Value) {
      Of(Context).Calls.push_back({"cr4_write", Value});
    },
    [](void *Context, uint32_t Leaf, uint32_t Out[4]) {
      Of(Context).Calls.push_back({"cpuid", Leaf});
      for (uint32_t Register = 0; Register < 4; Register++) {
        Out[Register] = Leaf + Register + 1;
      }
    },
    [](void *Context) {
      Of(Context).Calls.push_back({"tsc"});
      return Of(Context).ReadAnswer;
    },
    [](void *Context) { Of(Context).Calls.push_back({"pause"}); },
    [](void *Context, uint32_t Eax, uint32_t Ebx, uint32_t Edx, const void *Text) {
      Of(Context).Calls.push_back({"hand_over", Eax, Ebx, Edx});
      Of(Context).Text = Text;
    },
    [](void *Context, uint32_t Eax, uint32_t Ebx, uint16_t Si) -> uint16_t {
      Of(Context).Calls.push_back({"cpuid_si", Eax, Ebx, Si});
      return static_cast<uint16_t>(Of(Context).ReadAnswer);
    },
    [](void *Context) { return Of(Context).PeiServices; },
};

class HostBackend : public ::testing::Test {
protected:
  void SetUp() override { HostBackendAttach(&kRecordingBridge, &Log); }
  Recorder Log;
};

TEST_F(HostBackend, PortAccessesCarryWidthAndSixteenBitPort) {
  Log.ReadAnswer = 0x12345678;
  EXPECT_EQ(IoRead8(0x3FD), 0x78);
  EXPECT_EQ(IoRead16(0x1003F8), 0x5678);
  EXPECT_EQ(IoRead32(0xCFC), 0x12345678u);
  EXPECT_EQ(IoWrite8(0x80, 0x5A), 0x5A);
  EXPECT_EQ(IoWrite16(0xE0, 0xDEAD), 0xDEAD);
  EXPECT_EQ(IoWrite32(0xCF8, 0x80000034u), 0x80000034u);
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"io_read", 0x3FD, 8},
                                          {"io_read", 0x03F8, 16},
                                          {"io_read", 0xCFC, 32},
                                          {"io_write", 0x80, 8, 0x5A},
                                          {"io_write", 0xE0, 16, 0xDEAD},
                                          {"io_write", 0xCF8, 32, 0x80000034}}));
}

TEST_F(HostBackend, MemoryAccessesCarryWidthAndFullAddress) {
  Log.ReadAnswer = 0x1122334455667788;
  EXPECT_EQ(MmioRead8(0xF00000CB), 0x88);
  EXPECT_EQ(MmioRead16(0xF0000000), 0x7788);
  EXPECT_EQ(MmioRead32(0xF00000C8), 0x55667788u);
  EXPECT_EQ(MmioRead64(0x100000000), 0x1122334455667788u);
  MmioWrite8(0x10014, 0x20);
  MmioWrite16(0x10016, 0xBEEF);
  MmioWrite32(0xF00000C0, 7);
  MmioWrite64(0x100000008, 0x0123456789ABCDEF);
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"mmio_read", 0xF00000CB, 8},
                                          {"mmio_read", 0xF0000000, 16},
                                          {"mmio_read", 0xF00000C8, 32},
                                          {"mmio_read", 0x100000000, 64},
                                          {"mmio_write", 0x10014, 8, 0x20},
                                          {"mmio_write", 0x10016, 16, 0xBEEF},
                                          {"mmio_write", 0xF00000C0, 32, 7},
                                          {"mmio_write", 0x100000008, 64, 0x0123456789ABCDEF}}));
}

TEST_F(HostBackend, MsrOrReadsThenWritesTheCombinedValue) {
  Log.ReadAnswer = 0x10;
  EXPECT_EQ(AsmMsrOr64(0xC001100A, 1), 0x11u);
  EXPECT_EQ(AsmReadMsr64(0xC0010058), 0x10u);
  EXPECT_EQ(AsmWriteMsr64(0xC0010063, 3), 3u);
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"msr_read", 0xC001100A},
                                          {"msr_write", 0xC001100A, 0x11},
                                          {"msr_read", 0xC0010058},
                                          {"msr_write", 0xC0010063, 3}}));
}

TEST_F(HostBackend, DebugAndControlRegistersByNumber) {
  Log.ReadAnswer = 0x99CC;
  EXPECT_EQ(AsmReadDr2(), 0x99CCu);
  AsmReadDr3();
  AsmReadDr7();
  EXPECT_EQ(AsmWriteDr2(0x99CC), 0x99CCu);
  EXPECT_EQ(AsmWriteDr7(0x2000420), 0x2000420u);
  AsmReadCr4();
  EXPECT_EQ(AsmWriteCr4(0x6F8), 0x6F8u);
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"dr_read", 2},
                                          {"dr_read", 3},
                                          {"dr_read", 7},
                                          {"dr_write", 2, 0x99CC},
                                          {"dr_write", 7, 0x2000420},
                                          {"cr4_read"},
                                          {"cr4_write", 0x6F8}}));
}

TEST_F(HostBackend, CpuidFillsTheRegistersAskedFor) {
  UINT32 Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
  EXPECT_EQ(AsmCpuid(0x10, &Eax, &Ebx, &Ecx, &Edx), 0x10u);
  EXPECT_EQ((std::vector<UINT32>{Eax, Ebx, Ecx, Edx}),
            (std::vector<UINT32>{0x11, 0x12, 0x13, 0x14}));
  UINT32 OnlyEdx = 0;
  AsmCpuid(0x20, nullptr, nullptr, nullptr, &OnlyEdx);
  EXPECT_EQ(OnlyEdx, 0x24u);
}

TEST_F(HostBackend, TimeAndPause) {
  Log.ReadAnswer = 123456789;
  EXPECT_EQ(AsmReadTsc(), 123456789u);
  CpuPause();
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"tsc"}, {"pause"}}));
}

TEST_F(HostBackend, AgentSequencesPassTheirRegisters) {
  static const char Text[] = "hand-over text";
  AsmIoPortHandOver(0xC0BF99CC, Text, sizeof(Text) - 1);
  Log.ReadAnswer = 0x5A5A;
  EXPECT_EQ(AsmCpuidReturnSi(0xBACCD00B, 2, 0), 0x5A5A);
  const uint64_t Low32 = reinterpret_cast<uintptr_t>(Text) & 0xFFFFFFFF;
  EXPECT_EQ(Log.Calls, (std::vector<Call>{{"hand_over", Low32, sizeof(Text) - 1, 0xC0BF99CC},
                                          {"cpuid_si", 0xBACCD00B, 2, 0}}));
  EXPECT_EQ(Log.Text, Text) << "the agent model needs the full address";
}

TEST_F(HostBackend, PeiServicesPointerComesFromTheBridge) {
  const EFI_PEI_SERVICES *Table = nullptr;
  Log.PeiServices = &Table;
  EXPECT_EQ(GetPeiServicesTablePointer(), &Table);
}

TEST(HostBackendContext, CallsAreTaggedWithTheAttachedContext) {
  Recorder First, Second;
  HostBackendAttach(&kRecordingBridge, &First);
  IoWrite8(0x80, 1);
  HostBackendAttach(&kRecordingBridge, &Second);
  IoWrite8(0x80, 2);
  EXPECT_EQ(First.Calls, (std::vector<Call>{{"io_write", 0x80, 8, 1}}));
  EXPECT_EQ(Second.Calls, (std::vector<Call>{{"io_write", 0x80, 8, 2}}));
}

} // namespace
