// The BMC behind the transport PPI: when it answers, how a not-ready request ends, and how the
// response is capped by the caller's buffer.
#include "DeviceRig.h"
#include "Devices/DeviceStatus.h"

#include <array>

namespace boardsim::test {
namespace {

constexpr uint8_t kRequest[] = {0x05, 0xE2, 0x01, 0x00};

struct Answer {
  Status status;
  uint8_t size;
  std::array<uint8_t, 12> response;
};

Answer Send(Rig &rig, uint8_t capacity) {
  Answer answer{0, capacity, {}};
  answer.response.fill(0xA5);
  answer.status = rig.m().BmcSend(0x06, 0, 0x52, kRequest, sizeof kRequest, answer.response.data(),
                                  answer.size);
  return answer;
}

Board BmcBoard(std::optional<uint32_t> readyAfter, BmcNotReady notReady, uint32_t responseSize) {
  Board board;
  board.bmc.ready_after = readyAfter;
  board.bmc.not_ready = notReady;
  board.bmc.response_size = responseSize;
  return board;
}

TEST(Bmc, AnswersOnceTheConfiguredRequestsWentUnanswered) {
  Rig rig(BmcBoard(2, BmcNotReady::Error, 1));
  for (int i = 0; i < 2; ++i) {
    const Answer busy = Send(rig, 10);
    EXPECT_EQ(busy.status, kDeviceError);
    EXPECT_EQ(busy.size, 10) << "a transport that timed out leaves the size as it was";
    EXPECT_EQ(busy.response[0], 0xA5);
  }
  for (int i = 0; i < 2; ++i) {
    const Answer ready = Send(rig, 10);
    EXPECT_EQ(ready.status, 0u);
    EXPECT_EQ(ready.size, 1);
    EXPECT_EQ(ready.response[0], 0x00) << "completion code: normal";
    EXPECT_EQ(ready.response[1], 0xA5) << "nothing past the response";
  }

  const auto events = rig.Events("ipmi");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0]["netfn"], 0x06);
  EXPECT_EQ(events[0]["lun"], 0);
  EXPECT_EQ(events[0]["command"], 0x52);
  EXPECT_EQ(events[0]["request"], "05e20100");
  EXPECT_EQ(events[0]["size_in"], 10);
  EXPECT_EQ(events[0]["status"], "EFI_DEVICE_ERROR");
  EXPECT_EQ(events[0]["size_out"], 10);
  EXPECT_EQ(events[2]["status"], "EFI_SUCCESS");
  EXPECT_EQ(events[2]["size_out"], 1);
}

TEST(Bmc, NeverReadyNeverAnswers) {
  for (BmcNotReady notReady : {BmcNotReady::Error, BmcNotReady::Size2}) {
    Rig rig(BmcBoard(std::nullopt, notReady, 1));
    for (int i = 0; i < 50; ++i) {
      const Answer answer = Send(rig, 10);
      ASSERT_FALSE(answer.status == 0 && answer.size == 1) << i;
    }
  }
}

TEST(Bmc, Size2NotReadyIsASuccessfulBusyAnswer) {
  Rig rig(BmcBoard(1, BmcNotReady::Size2, 1));
  const Answer busy = Send(rig, 10);
  EXPECT_EQ(busy.status, 0u);
  EXPECT_EQ(busy.size, 2);
  EXPECT_NE(busy.response[0], 0x00) << "not a normal completion";
  EXPECT_EQ(busy.response[2], 0xA5);
  // The caller passes on the size it got back as the next capacity; 2 still has room for 1.
  const Answer ready = Send(rig, busy.size);
  EXPECT_EQ(ready.status, 0u);
  EXPECT_EQ(ready.size, 1);
  EXPECT_EQ(ready.response[0], 0x00);
}

TEST(Bmc, ResponseIsCappedByTheCallersCapacity) {
  Rig rig(BmcBoard(0, BmcNotReady::Error, 6));
  const Answer roomy = Send(rig, 10);
  EXPECT_EQ(roomy.size, 6);
  EXPECT_EQ(roomy.response[5], 0x00);
  EXPECT_EQ(roomy.response[6], 0xA5);

  const Answer tight = Send(rig, 3);
  EXPECT_EQ(tight.status, 0u);
  EXPECT_EQ(tight.size, 3);
  EXPECT_EQ(tight.response[3], 0xA5) << "nothing is written past the capacity";

  const Answer none = Send(rig, 0);
  EXPECT_EQ(none.size, 0);
  EXPECT_EQ(none.response[0], 0xA5);
}

} // namespace
} // namespace boardsim::test
