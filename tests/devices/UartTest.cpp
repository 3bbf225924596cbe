// 16550 UARTs in I/O and memory space: the transmitter-empty bits of the line status register
// and the text written to the transmit register.
#include "DeviceRig.h"

#include <functional>
#include <string>

namespace boardsim::test {
namespace {

UartConfig Uart(uint64_t base, std::optional<uint32_t> readyAfter) {
  UartConfig config;
  config.base = base;
  config.ready_after = readyAfter;
  return config;
}

// Reads the line status register until both transmitter bits show, at most `limit` times;
// returns the number of reads that did not show them.
int WaitReady(std::function<uint64_t()> readStatus, int limit) {
  for (int i = 0; i < limit; ++i) {
    const uint64_t status = readStatus();
    if ((status & 0x60) == 0x60)
      return i;
    if (status & 0x60)
      return -1; // one bit without the other
  }
  return limit;
}

TEST(Uart, IoUartShowsReadyAfterTheConfiguredStatusReadsPerCharacter) {
  Board board;
  board.uarts.push_back(Uart(0x2F8, 2));
  Rig rig(board);
  auto status = [&] { return rig.m().IoRead(0x2FD, 8); };

  EXPECT_EQ(WaitReady(status, 100), 2);
  EXPECT_EQ(WaitReady(status, 100), 0) << "stays ready until something is sent";
  for (char c : std::string("ok\n")) {
    rig.m().IoWrite(0x2F8, 8, static_cast<uint8_t>(c));
    EXPECT_EQ(WaitReady(status, 100), 2);
  }
  // A burst without status reads in between is one transmission.
  rig.m().IoWrite(0x2F8, 8, 'a');
  rig.m().IoWrite(0x2F8, 8, 'b');
  EXPECT_EQ(WaitReady(status, 100), 2);

  const Json text = rig.Final()["uart_text"];
  EXPECT_EQ(text["760"], "ok\nab");
  EXPECT_EQ(text["1016"], "") << "the legacy UART is always there";
}

TEST(Uart, NeverReadyUartNeverShowsTheTransmitterEmpty) {
  Board board;
  board.uarts = {Uart(0x3F8, std::nullopt)};
  Rig rig(board, /*trace=*/false);
  EXPECT_EQ(WaitReady([&] { return rig.m().IoRead(0x3FD, 8); }, 70000), 70000);
  rig.m().IoWrite(0x3F8, 8, 'x');
  EXPECT_EQ(rig.Final()["uart_text"]["1016"], "x") << "what is written is still sent";
}

TEST(Uart, BoardEntryForTheLegacyBaseConfiguresIt) {
  Board board;
  board.uarts.push_back(Uart(0x3F8, 3));
  Rig rig(board);
  EXPECT_EQ(WaitReady([&] { return rig.m().IoRead(0x3FD, 8); }, 100), 3);
  EXPECT_EQ(rig.Final()["uart_text"].size(), 1u);
}

TEST(Uart, MemoryUartHasRegistersFourBytesApart) {
  constexpr uint64_t kBase = 0x10000; // just above I/O space
  Board board;
  board.uarts.push_back(Uart(kBase, 1));
  Rig rig(board);
  EXPECT_TRUE(rig.m().IsDeviceMemory(kBase));
  EXPECT_TRUE(rig.m().IsDeviceMemory(kBase + 0x14));
  EXPECT_FALSE(rig.m().IsDeviceMemory(kBase + 0x20));
  auto status = [&] { return rig.m().MmioRead(kBase + 0x14, 8); };

  for (char c : std::string("hi")) {
    EXPECT_EQ(WaitReady(status, 100), 1);
    rig.m().MmioWrite(kBase, 8, static_cast<uint8_t>(c));
  }
  EXPECT_EQ(rig.m().IoRead(0x0005, 8), 0xFFu) << "nothing of it in I/O space";
  EXPECT_EQ(rig.Final()["uart_text"]["65536"], "hi");

  const auto mmio = rig.Events("mmio");
  ASSERT_FALSE(mmio.empty());
  EXPECT_EQ(mmio.back()["dir"], "write");
  EXPECT_EQ(mmio.back()["addr"], kBase);
  EXPECT_EQ(mmio.back()["value"], int{'i'});
}

TEST(Uart, DivisorLatchWritesAreNotSentAndAnyByteSurvivesIntoTheFinalText) {
  Rig rig{Board{}};
  rig.m().IoWrite(0x3FB, 8, 0x83); // divisor latch access, 8N1
  rig.m().IoWrite(0x3F8, 8, 0x01);
  rig.m().IoWrite(0x3F9, 8, 0x00);
  rig.m().IoWrite(0x3FB, 8, 0x03);
  EXPECT_EQ(rig.m().IoRead(0x3FB, 8), 0x03u);
  rig.m().IoWrite(0x3F8, 8, 0xE9);
  rig.m().IoWrite(0x3F8, 8, 0x07);
  const Json final = rig.Final();
  EXPECT_EQ(final["uart_text"]["1016"], "\u00e9\a");
  EXPECT_NO_THROW((void) final.dump()) << "the final event must serialise";
}

} // namespace
} // namespace boardsim::test
