// The debug agent behind the I/O breakpoint on port 0x99CC: it takes the handed-over text only
// when the breakpoint is armed and the tag is its own.
#include "DeviceRig.h"

#include "Core/Memory.h"

#include <cstring>
#include <string>

namespace boardsim::test {
namespace {

constexpr uint32_t kTag = 0xC0BF99CC;

uint32_t Low32(const void *p) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// The arming sequence of a breakpoint owner; each step can be left out.
struct Arming {
  bool msr = true, dr2 = true, dr7 = true, cr4 = true;
};
void Arm(Machine &m, Arming arming) {
  if (arming.msr)
    m.WriteMsr(0xC001100A, m.ReadMsr(0xC001100A) | 1);
  if (arming.dr2)
    m.WriteDr(2, 0x99CC);
  if (arming.dr7)
    m.WriteDr(7, 0x2000420);
  if (arming.cr4)
    m.WriteCr4(m.ReadCr4() | 0x8);
}

TEST(DebugAgent, CollectsTextOnlyWhenEveryPartOfTheBreakpointIsArmed) {
  const char text[] = "hello agent";
  for (int missing = 0; missing < 4; ++missing) {
    Rig rig{Board{}};
    Arming arming;
    bool *parts[] = {&arming.msr, &arming.dr2, &arming.dr7, &arming.cr4};
    *parts[missing] = false;
    Arm(rig.m(), arming);
    rig.m().PortHandOver(Low32(text), 5, kTag, text);
    EXPECT_TRUE(rig.m().HandOvers().empty()) << "part " << missing << " not armed";
    EXPECT_EQ(rig.Events("io").back()["text"], "");
  }

  Rig rig{Board{}};
  rig.m().PortHandOver(Low32(text), 5, kTag, text);
  Arm(rig.m(), {});
  rig.m().PortHandOver(Low32(text), 5, kTag, text);
  ASSERT_EQ(rig.m().HandOvers().size(), 1u);
  const DebugHandOver &handOver = rig.m().HandOvers()[0];
  EXPECT_EQ(handOver.eax, Low32(text));
  EXPECT_EQ(handOver.ebx, 5u);
  EXPECT_EQ(std::string(handOver.text.begin(), handOver.text.end()), "hello");

  const auto io = rig.Events("io");
  ASSERT_EQ(io.size(), 2u);
  for (const Json &event : io) {
    EXPECT_EQ(event["dir"], "out");
    EXPECT_EQ(event["port"], 0x99CC);
    EXPECT_EQ(event["width"], 32);
    EXPECT_EQ(event["eax"], Low32(text));
    EXPECT_EQ(event["ebx"], 5);
    EXPECT_EQ(event["edx"], kTag);
  }
  EXPECT_EQ(io[0]["text"], "");
  EXPECT_EQ(io[1]["text"], "68656c6c6f");
}

TEST(DebugAgent, ArmedByTheBoardItselfAndBlindToOtherTags) {
  Board board;
  board.cpu.msr[0xC001100A] = 1;
  board.cpu.dr2 = 0x99CC;
  board.cpu.dr7 = 0x2000420 | 0x3; // other enables may be on as well
  board.cpu.cr4 = 0x8 | 0x20;
  Rig rig(board);

  // Text in the simulator's memory, as a trace buffer in SMRAM would be.
  auto *buffer = static_cast<char *>(rig.sim.memory().Allocate(Space::Smram, 8));
  std::memcpy(buffer, "abcdefgh", 8);
  rig.m().PortHandOver(Low32(buffer), 0x0000, kTag, buffer);  // nothing to take
  rig.m().PortHandOver(Low32(buffer), 8, 0x000099CC, buffer); // a plain OUT to the port
  rig.m().PortHandOver(Low32(buffer), 8, kTag, buffer);
  ASSERT_EQ(rig.m().HandOvers().size(), 1u);
  EXPECT_EQ(std::string(rig.m().HandOvers()[0].text.begin(), rig.m().HandOvers()[0].text.end()),
            "abcdefgh");
  EXPECT_TRUE(rig.Events("fault").empty());
}

TEST(DebugAgent, UnreadableTextIsAFaultNotACrash) {
  Board board;
  board.cpu.msr[0xC001100A] = 1;
  board.cpu.dr2 = 0x99CC;
  board.cpu.dr7 = 0x2000420;
  board.cpu.cr4 = 0x8;
  Rig rig(board);
  const void *unmapped = reinterpret_cast<const void *>(uintptr_t{0x1000});
  rig.m().PortHandOver(0x1000, 16, kTag, unmapped);
  EXPECT_TRUE(rig.m().HandOvers().empty());
  ASSERT_EQ(rig.Events("fault").size(), 1u);
  EXPECT_EQ(rig.Events("io").back()["text"], "");
}

TEST(DebugAgent, HandOverToAnotherPortIsAnOrdinaryPortWrite) {
  Rig rig{Board{}};
  Arm(rig.m(), {});
  const char text[] = "x";
  rig.m().PortHandOver(0x12345678, 1, 0xC0BF0080, text);
  EXPECT_TRUE(rig.m().HandOvers().empty());
  EXPECT_EQ(rig.Final()["port80"], Json{0x12345678});
  const Json io = rig.Events("io").back();
  EXPECT_EQ(io["port"], 0x80);
  EXPECT_FALSE(io.contains("text"));
}

} // namespace
} // namespace boardsim::test
