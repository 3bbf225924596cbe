// The I/O-breakpoint channel: presence, arming, the trace buffer and the hand-over trap.
#include "DebugTestSupport.h"
#include <Debug/DebugChannel.h>

namespace {

constexpr uint32_t kAgentEnableMsr = 0xC001100A;
constexpr uint64_t kDr7Pattern = 0x2000420;
constexpr uint64_t kCr4De = 1u << 3;

class BreakpointChannelTest : public DebugOutputTest {
protected:
  void Arm() {
    Machine.Msrs[kAgentEnableMsr] = 1;
    Machine.DebugRegisters[7] = kDr7Pattern;
    Machine.Cr4 = kCr4De;
  }
  std::vector<Access> Writes() const {
    return Machine.Of({AccessKind::MsrWrite, AccessKind::DrWrite, AccessKind::Cr4Write});
  }
};

TEST_F(BreakpointChannelTest, PresenceFollowsTheSettingsAndDebugRegister2) {
  EXPECT_FALSE(BreakpointChannel.IsSupported()); // printing off, breakpoint unclaimed
  Machine.DebugRegisters[2] = 0x99CD;
  EXPECT_FALSE(BreakpointChannel.IsSupported());
  Machine.DebugRegisters[2] = kBreakpointPort; // claimed by an agent
  EXPECT_TRUE(BreakpointChannel.IsSupported());
  BreakpointChannelEnable = 0;
  EXPECT_FALSE(BreakpointChannel.IsSupported());

  BreakpointChannelEnable = 1;
  DebugPrintEnable = 1;
  Machine.DebugRegisters[2] = 0;
  Machine.Log.clear();
  EXPECT_TRUE(BreakpointChannel.IsSupported());
  EXPECT_TRUE(Machine.Of({AccessKind::DrRead}).empty());
}

TEST_F(BreakpointChannelTest, ConstructorArmsTheBreakpointInOrder) {
  DebugPrintEnable = 1;
  Machine.Msrs[kAgentEnableMsr] = 0x40;
  Machine.DebugRegisters[7] = 0xFF;
  Machine.Cr4 = 0x20;
  BreakpointChannel.Constructor();
  EXPECT_EQ(Writes(), (std::vector<Access>{
                          {AccessKind::MsrWrite, kAgentEnableMsr, 64, 0x41},
                          {AccessKind::DrWrite, 2, 64, kBreakpointPort},
                          {AccessKind::DrWrite, 7, 64, kDr7Pattern}, // the whole register
                          {AccessKind::Cr4Write, 4, 64, 0x20 | kCr4De},
                      }));
}

TEST_F(BreakpointChannelTest, ConstructorArmsOnlyAPresentUnarmedBreakpoint) {
  BreakpointChannel.Constructor();
  EXPECT_TRUE(Writes().empty()) << "absent";

  DebugPrintEnable = 1;
  Arm();
  Machine.DebugRegisters[7] |= 0x3; // other breakpoints in use too
  BreakpointChannel.Constructor();
  EXPECT_TRUE(Writes().empty()) << "already armed";

  for (int Missing = 0; Missing < 3; Missing++) {
    Arm();
    if (Missing == 0) {
      Machine.Msrs[kAgentEnableMsr] = 0;
    } else if (Missing == 1) {
      Machine.DebugRegisters[7] = kDr7Pattern & ~uint64_t(0x20);
    } else {
      Machine.Cr4 = 0;
    }
    Machine.Log.clear();
    BreakpointChannel.Constructor();
    EXPECT_EQ(Writes().size(), 4u) << "condition " << Missing;
  }
}

TEST_F(BreakpointChannelTest, DirectHandOverCarriesTheTextAddressAndLength) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(16, 1, 0, kMessageLevel);
  const char Text[] = "direct text";
  BreakpointChannel.Print(Text, 6);
  BreakpointChannel.Print(Text, 11);
  ASSERT_EQ(Machine.HandOvers.size(), 2u);
  EXPECT_EQ(Machine.HandOvers[0].Eax, uint32_t(reinterpret_cast<uintptr_t>(Text)));
  EXPECT_EQ(Machine.HandOvers[0].Ebx, 6u);
  EXPECT_EQ(Machine.HandOvers[0].Edx, kBreakpointPortTag);
  EXPECT_EQ(Machine.HandOvers[0].Text, "direct");
  EXPECT_EQ(Machine.HandOvers[1].Text, "direct text");
  EXPECT_EQ(Machine.At(AccessKind::HandOver, kBreakpointPort).size(), 2u);
  EXPECT_EQ(Buffer->Count, 0u);
}

TEST_F(BreakpointChannelTest, WithoutAUsableTraceBufferTextIsHandedOverDirectly) {
  DebugPrintEnable = 1;
  struct Case {
    const char *Why;
    std::function<void(DEBUG_TRACE_BUFFER *)> Spoil;
  } Cases[] = {
      {"debug register 3 clear", [this](DEBUG_TRACE_BUFFER *) { Machine.DebugRegisters[3] = 0; }},
      {"not in the heap list",
       [](DEBUG_TRACE_BUFFER *) { SmmServiceDoubles::TraceHeapBufferPresent = false; }},
      {"wrong signature", [](DEBUG_TRACE_BUFFER *Buffer) { Buffer->Signature ^= 1; }},
  };
  for (const Case &Each : Cases) {
    Machine.HandOvers.clear();
    DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(8, 0, 1, 0);
    Each.Spoil(Buffer);
    BreakpointChannel.Print("abc", 3);
    ASSERT_EQ(Machine.HandOvers.size(), 1u) << Each.Why;
    EXPECT_EQ(Machine.HandOvers[0].Text, "abc") << Each.Why;
    EXPECT_EQ(Buffer->Count, 0u) << Each.Why;
  }
}

TEST_F(BreakpointChannelTest, HeapBufferTooSmallForItsCapacityIsNotUsed) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(8, 1, 1, 0x2, DEBUG_TRACE_BUFFER_HEADER_SIZE + 7);
  UINT64 Filter = 0x10;
  EXPECT_TRUE(BreakpointChannel.GetFilter(&Filter));
  EXPECT_EQ(Filter, 0x10u);
  BreakpointChannel.Print("abcdefgh", 8);
  EXPECT_EQ(Buffer->Count, 0u);
  ASSERT_EQ(Machine.HandOvers.size(), 1u);
  EXPECT_EQ(Machine.HandOvers[0].Text, "abcdefgh");
}

TEST_F(BreakpointChannelTest, TextIsDroppedUnlessTheBufferIsEnabled) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(8, 2, 1, 0);
  BreakpointChannel.Print("abc", 3);
  Buffer->Enable = 0;
  Buffer->Buffered = 0;
  BreakpointChannel.Print("abc", 3);
  EXPECT_TRUE(Machine.HandOvers.empty());
  EXPECT_TRUE(Machine.Of({AccessKind::IoWrite}).empty());
  EXPECT_EQ(Buffer->Count, 0u);
}

TEST_F(BreakpointChannelTest, GatheringHandsAFullBufferOverWhenTheNextByteArrives) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(4, 1, 1, 0);
  BreakpointChannel.Print("abcdef", 6);

  // The notice with the first two bytes comes before anything is handed over.
  const std::vector<Access> Outputs = Machine.Of({AccessKind::IoWrite, AccessKind::HandOver});
  ASSERT_EQ(Outputs.size(), 2u);
  EXPECT_EQ(Outputs[0].Kind, AccessKind::IoWrite);
  EXPECT_EQ(Outputs[0].Address, 0xFFEDu);
  EXPECT_EQ(Outputs[0].Width, 16u);
  EXPECT_EQ(Outputs[0].Value, 0x6261u); // "ab", first byte low
  EXPECT_EQ(Outputs[1].Kind, AccessKind::HandOver);

  ASSERT_EQ(Machine.HandOvers.size(), 1u);
  EXPECT_EQ(Machine.HandOvers[0].Ebx, 4u);
  EXPECT_EQ(Machine.HandOvers[0].Text, "abcd");
  EXPECT_EQ(Machine.HandOvers[0].Eax,
            uint32_t(reinterpret_cast<uintptr_t>(DebugTraceBufferData(Buffer))));
  EXPECT_EQ(Buffer->Count, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(DebugTraceBufferData(Buffer)), 2), "ef");
}

TEST_F(BreakpointChannelTest, GatheringKeepsAnExactlyFullBufferUntilMoreText) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(6, 1, 1, 0);
  BreakpointChannel.Print("abcdef", 6);
  EXPECT_TRUE(Machine.HandOvers.empty());
  EXPECT_EQ(Buffer->Count, 6u);

  BreakpointChannel.Print("g", 1);
  ASSERT_EQ(Machine.HandOvers.size(), 1u);
  EXPECT_EQ(Machine.HandOvers[0].Text, "abcdef");
  EXPECT_EQ(Buffer->Count, 1u);
  EXPECT_EQ(Machine.At(AccessKind::IoWrite, 0xFFED).size(), 2u); // one notice per call
}

TEST_F(BreakpointChannelTest, GatheringIntoABufferWithoutCapacityStoresNothing) {
  DebugPrintEnable = 1;
  DEBUG_TRACE_BUFFER *Buffer = ProvideTraceBuffer(0, 1, 1, 0);
  SmmServiceDoubles::TraceHeapBuffer.push_back(0x5A); // the byte after the buffer
  Buffer = reinterpret_cast<DEBUG_TRACE_BUFFER *>(SmmServiceDoubles::TraceHeapBuffer.data());
  BreakpointChannel.Print("ab", 2);
  EXPECT_EQ(Buffer->Count, 0u);
  EXPECT_EQ(SmmServiceDoubles::TraceHeapBuffer.back(), 0x5A);
}

TEST_F(BreakpointChannelTest, FilterComesFromTheTraceBufferWhenThereIsOne) {
  UINT64 Filter = 0x10;
  EXPECT_TRUE(BreakpointChannel.GetFilter(&Filter));
  EXPECT_EQ(Filter, 0x10u);

  ProvideTraceBuffer(8, 1, 1, 0x8000000000000001);
  EXPECT_TRUE(BreakpointChannel.GetFilter(&Filter));
  EXPECT_EQ(Filter, 0x8000000000000001u);
}

} // namespace
