#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "BoardPcdValues.h"

namespace {

// Where each input bit belongs in PcdBoardInputWord: {source bit, word bit}.
constexpr std::pair<int, int> kXBitPlacement[] = {{7, 2},  {6, 1}, {5, 0}, {4, 11},
                                                  {3, 10}, {2, 9}, {1, 8}, {0, 12}};
constexpr std::pair<int, int> kYBitPlacement[] = {{0, 3}, {1, 4}, {2, 5}, {3, 6}};

template <size_t Count>
uint32_t PlaceBits(uint8_t Byte, const std::pair<int, int> (&Placement)[Count]) {
  uint32_t Word = 0;
  for (auto [From, To] : Placement) {
    Word |= uint32_t((Byte >> From) & 1) << To;
  }
  return Word;
}

TEST(BoardInputWord, KnownBoardReadings) {
  EXPECT_EQ(BoardInputWord(0xA5, 0x3C), 0x1265u);
  EXPECT_EQ(BoardInputWord(0x01, 0x00), 0x1000u);
  EXPECT_EQ(BoardInputWord(0x1E, 0x00), 0xF00u);
  EXPECT_EQ(BoardInputWord(0xE0, 0x00), 0x7u);
  EXPECT_EQ(BoardInputWord(0x00, 0xFF), 0x78u);
  EXPECT_EQ(BoardInputWord(0x00, 0x00), 0u);
}

TEST(BoardInputWord, EachInputBitLandsAlone) {
  for (auto [From, To] : kXBitPlacement) {
    EXPECT_EQ(BoardInputWord(uint8_t(1u << From), 0), 1u << To) << "X bit " << From;
  }
  for (auto [From, To] : kYBitPlacement) {
    EXPECT_EQ(BoardInputWord(0, uint8_t(1u << From)), 1u << To) << "Y bit " << From;
  }
  for (int From = 4; From < 8; ++From) {
    EXPECT_EQ(BoardInputWord(0, uint8_t(1u << From)), 0u) << "unused Y bit " << From;
  }
}

TEST(BoardInputWord, EveryPairOfBytesCombinesBitByBit) {
  std::vector<uint32_t> Mismatches;
  for (unsigned X = 0; X < 256; ++X) {
    for (unsigned Y = 0; Y < 256; ++Y) {
      uint32_t Expected =
          PlaceBits(uint8_t(X), kXBitPlacement) | PlaceBits(uint8_t(Y), kYBitPlacement);
      uint32_t Word = BoardInputWord(uint8_t(X), uint8_t(Y));
      if (Word != Expected || (Word & ~0x1F7Fu) != 0) {
        Mismatches.push_back(X << 8 | Y);
      }
    }
  }
  EXPECT_TRUE(Mismatches.empty()) << Mismatches.size() << " pairs wrong, first X:Y = " << std::hex
                                  << (Mismatches.empty() ? 0 : Mismatches.front());
}

TEST(BoardInputField, TakesBitsFiveToThree) {
  EXPECT_EQ(BoardInputField(0x28), 5);
  for (unsigned Field = 0; Field < 8; ++Field) {
    // The field alone, then surrounded by every other bit set.
    EXPECT_EQ(BoardInputField(uint8_t(Field << 3)), Field);
    EXPECT_EQ(BoardInputField(uint8_t(Field << 3 | 0xC7)), Field);
  }
}

TEST(BoardDeviceCode, RegisterSevenOneSelectsRegisterFive) {
  EXPECT_EQ(BoardDeviceCode(1, 0x2A), 0x12Au);
  EXPECT_EQ(BoardDeviceCode(1, 0x00), 0x100u);
  EXPECT_EQ(BoardDeviceCode(1, 0xFF), 0x1FFu);
}

TEST(BoardDeviceCode, OtherRegisterSevenValuesStandAlone) {
  for (unsigned Register7 = 0; Register7 < 256; ++Register7) {
    if (Register7 == 1) {
      continue;
    }
    EXPECT_EQ(BoardDeviceCode(uint8_t(Register7), 0x2A), Register7);
    EXPECT_EQ(BoardDeviceCode(uint8_t(Register7), 0xFF), Register7);
  }
}

} // namespace
