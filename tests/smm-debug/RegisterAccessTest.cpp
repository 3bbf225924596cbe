// The port and memory accessors: one access of the selected width, or an error stop with the
// accessor's own code and no access at all.
#include "DebugTestSupport.h"
#include <Debug/RegisterAccess.h>

namespace {

struct WidthCase {
  uint32_t Code;
  uint32_t Bits;
};
constexpr WidthCase kKnownWidths[] = {{1, 8}, {2, 16}, {3, 32}, {129, 8}, {130, 16}, {131, 32}};
constexpr uint32_t kUnknownWidths[] = {0, 4, 128, 132, 255, 0x101};

constexpr uint64_t Mask(uint32_t Bits) {
  return (uint64_t(1) << Bits) - 1;
}

using RegisterAccessTest = DebugOutputTest;

TEST_F(RegisterAccessTest, KnownWidthsDoOneAccessOfThatWidth) {
  Machine.PortReads[0x1F0] = [] { return 0x8899AABBCCDDEEFF; };
  Machine.MmioReads[0x20000] = [] { return 0x8899AABBCCDDEEFF; };
  for (const WidthCase &Case : kKnownWidths) {
    const auto Width = ACCESS_WIDTH(Case.Code);
    Machine.Log.clear();
    uint64_t Value = 0;
    ReadIoPort(Width, 0x1F0, &Value);
    EXPECT_EQ(Value, 0x8899AABBCCDDEEFF & Mask(Case.Bits)) << Case.Code;
    Value = 0;
    ReadMmio(Width, 0x20000, &Value);
    EXPECT_EQ(Value, 0x8899AABBCCDDEEFF & Mask(Case.Bits)) << Case.Code;
    const uint64_t Out = 0x1122334455667788;
    WriteIoPort(Width, 0x1F1, &Out);
    WriteMmio(Width, 0x20004, &Out);

    ASSERT_EQ(Machine.Log.size(), 4u) << Case.Code;
    const Access Expected[] = {{AccessKind::IoRead, 0x1F0, Case.Bits, 0},
                               {AccessKind::MmioRead, 0x20000, Case.Bits, 0},
                               {AccessKind::IoWrite, 0x1F1, Case.Bits, Out & Mask(Case.Bits)},
                               {AccessKind::MmioWrite, 0x20004, Case.Bits, Out & Mask(Case.Bits)}};
    for (size_t Index = 0; Index < 4; Index++) {
      EXPECT_EQ(Machine.Log[Index].Kind, Expected[Index].Kind) << Case.Code;
      EXPECT_EQ(Machine.Log[Index].Address, Expected[Index].Address) << Case.Code;
      EXPECT_EQ(Machine.Log[Index].Width, Expected[Index].Width) << Case.Code;
      if (Index >= 2) {
        EXPECT_EQ(Machine.Log[Index].Value, Expected[Index].Value) << Case.Code;
      }
    }
  }
}

TEST_F(RegisterAccessTest, UnknownWidthsStopWithTheAccessorsCodeAndAccessNothing) {
  for (const uint32_t Code : kUnknownWidths) {
    const auto Width = ACCESS_WIDTH(Code);
    Machine.Log.clear();
    uint64_t Value = 0x5555;
    ReadIoPort(Width, 0x1F0, &Value);
    EXPECT_EQ(Value, 0x5555u) << Code;
    WriteIoPort(Width, 0x1F1, &Value);
    ReadMmio(Width, 0x20000, &Value);
    EXPECT_EQ(Value, 0x5555u) << Code;
    WriteMmio(Width, 0x20004, &Value);

    EXPECT_EQ(Machine.ErrorStops(),
              (std::vector<uint32_t>{0x00010133, 0x00010170, 0x00010314, 0x00010355}))
        << Code;
    EXPECT_TRUE(Machine.At(AccessKind::IoRead, 0x1F0).empty()) << Code;
    EXPECT_TRUE(Machine.At(AccessKind::IoWrite, 0x1F1).empty()) << Code;
    EXPECT_TRUE(Machine.Of({AccessKind::MmioRead}).empty()) << Code;
    EXPECT_TRUE(Machine.Of({AccessKind::MmioWrite}).empty()) << Code;
  }
}

} // namespace
