// Port traffic of the framed port and the two UART channels.
#include "DebugTestSupport.h"
#include <Debug/DebugChannel.h>

namespace {

constexpr uint64_t kStartMarker = 0x5F535452; // "RTS_"
constexpr uint64_t kEndMarker = 0x5F454E44;   // "DNE_"

using FramedPortChannelTest = DebugOutputTest;

TEST_F(FramedPortChannelTest, FramesTheTextBetweenTheMarkersOnTheConfiguredPort) {
  FramedPortAddress = 0x1234;
  FramedPortChannel.Print("Hi\n", 3);
  const std::vector<Access> Writes = Machine.Of({AccessKind::IoWrite});
  ASSERT_EQ(Writes.size(), 5u);
  for (const Access &Write : Writes) {
    EXPECT_EQ(Write.Address, 0x1234u);
  }
  EXPECT_EQ(Writes[0].Width, 32u);
  EXPECT_EQ(Writes[0].Value, kStartMarker);
  EXPECT_EQ(Machine.BytesWritten(0x1234), "Hi\n");
  EXPECT_EQ(Writes[4].Width, 32u);
  EXPECT_EQ(Writes[4].Value, kEndMarker);
  EXPECT_TRUE(Machine.Of({AccessKind::IoRead}).empty()); // never waits
}

TEST_F(FramedPortChannelTest, EmptyTextStillSendsBothMarkers) {
  FramedPortChannel.Print("", 0);
  const std::vector<Access> Writes = Machine.Of({AccessKind::IoWrite});
  ASSERT_EQ(Writes.size(), 2u);
  EXPECT_EQ(Writes[0].Address, 0x80u);
  EXPECT_EQ(Writes[0].Value, kStartMarker);
  EXPECT_EQ(Writes[1].Value, kEndMarker);
}

using ConfigurableSerialChannelTest = DebugOutputTest;

TEST_F(ConfigurableSerialChannelTest, SendsCarriageReturnBeforeEachLineFeed) {
  SerialPortBase = 0x2F8;
  Machine.PortReads[0x2FD] = [] { return 0x20; };
  ConfigurableSerialChannel.Print("a\nb\n", 4);
  EXPECT_EQ(Machine.BytesWritten(0x2F8), "a\r\nb\r\n");
  // One status read before each of the six characters.
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x2FD).size(), 6u);
}

TEST_F(ConfigurableSerialChannelTest, BaseUpTo0xFFFFIsAnIoPortBase) {
  SerialPortBase = 0xFFFF;
  // The status port is the low 16 bits of base + 5.
  Machine.PortReads[0x0004] = [] { return 0x20; };
  EXPECT_TRUE(SerialPortWriteChar('z'));
  EXPECT_EQ(Machine.BytesWritten(0xFFFF), "z");
  EXPECT_TRUE(Machine.Of({AccessKind::MmioRead}).empty());
  EXPECT_TRUE(Machine.Of({AccessKind::MmioWrite}).empty());
}

TEST_F(ConfigurableSerialChannelTest, BaseAbove0xFFFFIsMemoryWithRegistersFourBytesApart) {
  SerialPortBase = 0x10000;
  Machine.MmioReads[0x10014] = TestMachine::StatusRegister(0x00, 0x20, 3);
  EXPECT_TRUE(SerialPortWriteChar('m'));
  EXPECT_EQ(Machine.At(AccessKind::MmioRead, 0x10014).size(), 3u);
  const std::vector<Access> Writes = Machine.Of({AccessKind::MmioWrite});
  ASSERT_EQ(Writes.size(), 1u);
  EXPECT_EQ(Writes[0].Address, 0x10000u);
  EXPECT_EQ(Writes[0].Width, 8u);
  EXPECT_EQ(Writes[0].Value, uint64_t('m'));
  EXPECT_TRUE(Machine.Of({AccessKind::IoRead}).empty());
  EXPECT_TRUE(Machine.Of({AccessKind::IoWrite}).empty());
}

TEST_F(ConfigurableSerialChannelTest, GivesUpOnACharacterAfter2000StatusReads) {
  // The transmitter-empty bit alone does not count: the holding register must be empty.
  Machine.PortReads[0x3FD] = [] { return 0xDF; };
  EXPECT_FALSE(SerialPortWriteChar('x'));
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 2000u);
  EXPECT_TRUE(Machine.Of({AccessKind::IoWrite}).empty());

  Machine.Log.clear();
  Machine.PortReads[0x3FD] = TestMachine::StatusRegister(0x00, 0x20, 2000);
  EXPECT_TRUE(SerialPortWriteChar('y'));
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 2000u);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), "y");
}

TEST_F(ConfigurableSerialChannelTest, ADroppedCharacterDoesNotStopTheText) {
  // Never ready for the first character (and its 2000 reads), then ready.
  Machine.PortReads[0x3FD] = TestMachine::StatusRegister(0x00, 0x20, 2001);
  ConfigurableSerialChannel.Print("ab", 2);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), "b");
}

class LegacyUartChannelTest : public DebugOutputTest {
protected:
  static UINTN Send(const std::string &Text) {
    return UartWrite(reinterpret_cast<const UINT8 *>(Text.data()), Text.size());
  }
};

TEST_F(LegacyUartChannelTest, SendsLineFeedsUnchanged) {
  Machine.PortReads[0x3FD] = [] { return 0x40; };
  LegacyUartChannel.Print("a\nb", 3);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), "a\nb");
}

TEST_F(LegacyUartChannelTest, SendsSeventeenBytesAsSixteenAndOne) {
  Machine.PortReads[0x3FD] = [] { return 0x40; };
  const std::string Text = "0123456789abcdefg";
  EXPECT_EQ(Send(Text), Text.size());

  std::string Pattern; // 'S' for a status read, 'W' for a byte written
  for (const Access &Entry : Machine.Log) {
    Pattern += Entry.Kind == AccessKind::IoRead ? 'S' : 'W';
  }
  EXPECT_EQ(Pattern, "S" + std::string(16, 'W') + "SW");
  EXPECT_EQ(Machine.BytesWritten(0x3F8), Text);
}

TEST_F(LegacyUartChannelTest, TransmitterWaitIsBoundedAt65535Reads) {
  // The holding-register bit alone is not enough; ready on the last allowed read still sends.
  Machine.PortReads[0x3FD] = TestMachine::StatusRegister(0x20, 0x40, 65535);
  EXPECT_EQ(Send("k"), 1u);
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 65535u);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), "k");

  // Ready for the first burst only: the rest is dropped.
  Machine.Log.clear();
  Machine.PortReads[0x3FD] = [Reads = 0]() mutable { return ++Reads == 1 ? 0x40 : 0x00; };
  EXPECT_EQ(Send(std::string(20, 'q')), 0u);
  EXPECT_EQ(Machine.BytesWritten(0x3F8), std::string(16, 'q'));
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 1u + 65535u);
}

TEST_F(LegacyUartChannelTest, EmptyTextWaitsForAnIdleTransmitterAndSendsNothing) {
  Machine.PortReads[0x3FD] = TestMachine::StatusRegister(0x40, 0x60, 3);
  EXPECT_EQ(Send(""), 0u);
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 3u);

  Machine.Log.clear();
  Machine.PortReads[0x3FD] = [] { return 0x40; };
  EXPECT_EQ(Send(""), 0u);
  EXPECT_EQ(Machine.At(AccessKind::IoRead, 0x3FD).size(), 65535u);
  EXPECT_TRUE(Machine.Of({AccessKind::IoWrite}).empty());
}

TEST_F(LegacyUartChannelTest, NoBufferTouchesNothing) {
  EXPECT_EQ(UartWrite(nullptr, 5), 0u);
  EXPECT_TRUE(Machine.Log.empty());
}

} // namespace
