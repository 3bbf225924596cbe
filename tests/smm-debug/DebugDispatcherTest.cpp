// The dispatcher: when it formats, which channels it asks, in which order, and with which filter.
#include "DebugTestSupport.h"
#include <Debug/DebugPrint.h>

namespace {

enum Channel { Framed, Breakpoint, ConfigurableSerial, LegacyUart };

class DispatcherTest : public DebugOutputTest {
protected:
  void SetUp() override {
    DebugOutputTest::SetUp();
    DebugPrintEnable = 1;
    SerialPortBase = 0x2F8; // apart from the legacy UART, so the two can be told apart
    UartsAlwaysReady();
  }

  // The channel behind each output access, in the order the accesses happened, one entry per
  // run of accesses by the same channel.
  std::vector<Channel> ServedChannels() const {
    std::vector<Channel> Served;
    for (const Access &Entry : Machine.Log) {
      Channel Source;
      if (Entry.Kind == AccessKind::HandOver) {
        Source = Breakpoint;
      } else if (Entry.Kind != AccessKind::IoWrite) {
        continue;
      } else if (Entry.Address == 0x80) {
        Source = Framed;
      } else if (Entry.Address == 0x2F8) {
        Source = ConfigurableSerial;
      } else if (Entry.Address == 0x3F8) {
        Source = LegacyUart;
      } else {
        continue;
      }
      if (Served.empty() || Served.back() != Source) {
        Served.push_back(Source);
      }
    }
    return Served;
  }

  // The text between the framed port's markers.
  std::string FramedText() const { return Machine.BytesWritten(0x80); }
};

TEST_F(DispatcherTest, PrintingOffTouchesNoHardwareAndFormatsNothing) {
  DebugPrintEnable = 0;
  // Formatting would read the string argument from an unmapped address.
  DebugTracePrint(kMessageLevel, "%a\n", reinterpret_cast<const char *>(16));
  EXPECT_TRUE(Machine.Log.empty());
}

TEST_F(DispatcherTest, ServesChannelsInTableOrderWithTheFormattedText) {
  DebugTracePrint(kMessageLevel, "value %d of %a\n", 7, "nine");
  EXPECT_EQ(ServedChannels(),
            (std::vector<Channel>{Framed, Breakpoint, ConfigurableSerial, LegacyUart}));
  EXPECT_EQ(FramedText(), "value 7 of nine\n");
  ASSERT_EQ(Machine.HandOvers.size(), 1u);
  EXPECT_EQ(Machine.HandOvers[0].Text, "value 7 of nine\n");
  EXPECT_EQ(Machine.BytesWritten(0x2F8), "value 7 of nine\r\n");
  EXPECT_EQ(Machine.BytesWritten(0x3F8), "value 7 of nine\n");
}

TEST_F(DispatcherTest, CutsLongTextTo511CharactersForEveryChannel) {
  const std::string Long(600, 'x');
  DebugTracePrint(kMessageLevel, "%a", Long.c_str());
  const std::string Cut(511, 'x');
  EXPECT_EQ(FramedText(), Cut);
  ASSERT_EQ(Machine.HandOvers.size(), 1u);
  EXPECT_EQ(Machine.HandOvers[0].Ebx, 511u);
  EXPECT_EQ(Machine.HandOvers[0].Text, Cut);
  EXPECT_EQ(Machine.BytesWritten(0x2F8), Cut);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), Cut);
}

TEST_F(DispatcherTest, LevelZeroReachesNoChannel) {
  DebugTracePrint(0, "quiet\n");
  EXPECT_TRUE(ServedChannels().empty());
}

TEST_F(DispatcherTest, EveryChannelStartsFromTheDefaultFilterSetting) {
  DefaultDebugFilter = 0x2;
  DebugTracePrint(kMessageLevel, "filtered\n");
  EXPECT_TRUE(ServedChannels().empty());

  DebugTracePrint(0x2, "passes\n");
  EXPECT_EQ(ServedChannels(),
            (std::vector<Channel>{Framed, Breakpoint, ConfigurableSerial, LegacyUart}));
}

TEST_F(DispatcherTest, TraceBufferFilterAppliesToTheBreakpointChannelOnly) {
  // Bit 1 is outside the default filter, bit 50 outside the trace buffer's.
  ProvideTraceBuffer(64, 1, 0, 0x2);

  DebugTracePrint(kMessageLevel, "not for the agent\n");
  EXPECT_EQ(ServedChannels(), (std::vector<Channel>{Framed, ConfigurableSerial, LegacyUart}));
  EXPECT_TRUE(Machine.HandOvers.empty());

  Machine.Log.clear();
  DebugTracePrint(0x2, "agent only\n");
  EXPECT_EQ(ServedChannels(), (std::vector<Channel>{Breakpoint}));
}

TEST_F(DispatcherTest, UnsupportedBreakpointChannelIsNeitherFilteredNorServed) {
  ProvideTraceBuffer(64, 1, 0, kMessageLevel);
  BreakpointChannelEnable = 0;
  DebugTracePrint(kMessageLevel, "text\n");
  // Its filter would read debug register 3 and look the trace buffer up.
  EXPECT_TRUE(Machine.At(AccessKind::DrRead, 3).empty());
  EXPECT_EQ(SmmServiceDoubles::HeapLookups, 0u);
  EXPECT_EQ(ServedChannels(), (std::vector<Channel>{Framed, ConfigurableSerial, LegacyUart}));
}

TEST_F(DispatcherTest, PrintEnableOtherThanOneNeedsAClaimedBreakpoint) {
  DebugPrintEnable = 2;
  DebugTracePrint(kMessageLevel, "text\n");
  EXPECT_EQ(ServedChannels(), (std::vector<Channel>{Framed, ConfigurableSerial, LegacyUart}));

  Machine.Log.clear();
  Machine.DebugRegisters[2] = kBreakpointPort;
  DebugTracePrint(kMessageLevel, "text\n");
  EXPECT_EQ(ServedChannels(),
            (std::vector<Channel>{Framed, Breakpoint, ConfigurableSerial, LegacyUart}));
}

TEST_F(DispatcherTest, InitializationConstructsPresentChannelsWhateverThePrintSetting) {
  DebugPrintEnable = 0;
  EXPECT_EQ(DebugChannelsInitialize(), EFI_SUCCESS);
  EXPECT_TRUE(
      Machine.Of({AccessKind::MsrWrite, AccessKind::DrWrite, AccessKind::Cr4Write}).empty());

  // A claimed breakpoint is present and gets armed; no channel sends anything.
  Machine.DebugRegisters[2] = kBreakpointPort;
  EXPECT_EQ(DebugChannelsInitialize(), EFI_SUCCESS);
  EXPECT_EQ(Machine.At(AccessKind::DrWrite, 7).size(), 1u);
  EXPECT_TRUE(Machine.Of({AccessKind::IoWrite, AccessKind::HandOver}).empty());
}

int PresenceQuestions = 0;
BOOLEAN PresentChannel() {
  PresenceQuestions++;
  return TRUE;
}
BOOLEAN AbsentChannel() {
  PresenceQuestions++;
  return FALSE;
}
constexpr DEBUG_OUTPUT_CHANNEL kPresent = {PresentChannel, nullptr, nullptr, nullptr};
constexpr DEBUG_OUTPUT_CHANNEL kAbsent = {AbsentChannel, nullptr, nullptr, nullptr};

TEST(AnyDebugChannelSupported, AsksEveryChannelUpToTheEndOfTheTable) {
  const DEBUG_OUTPUT_CHANNEL *const FirstPresent[] = {&kPresent, &kAbsent, &kAbsent, nullptr};
  PresenceQuestions = 0;
  EXPECT_TRUE(AnyDebugChannelSupported(FirstPresent));
  EXPECT_EQ(PresenceQuestions, 3);

  const DEBUG_OUTPUT_CHANNEL *const NonePresent[] = {&kAbsent, &kAbsent, nullptr, &kPresent};
  PresenceQuestions = 0;
  EXPECT_FALSE(AnyDebugChannelSupported(NonePresent));
  EXPECT_EQ(PresenceQuestions, 2);
}

} // namespace
