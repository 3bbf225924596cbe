#include "DriverTest.h"
#include "VpdMacAddress.h"
#include <array>
#include <cstring>

namespace {

using Image = std::array<uint8_t, 256>;
using Mac = std::array<uint8_t, 6>;

// Writes a keyword header and its value at Offset.
void PutKeyword(Image &Vpd, size_t Offset, const char *Name, const char *Value) {
  size_t Length = std::strlen(Value);
  Vpd.at(Offset) = uint8_t(Name[0]);
  Vpd.at(Offset + 1) = uint8_t(Name[1]);
  Vpd.at(Offset + 2) = uint8_t(Length);
  for (size_t I = 0; I < Length; I++) {
    Vpd.at(Offset + 3 + I) = uint8_t(Value[I]);
  }
}

Mac Convert(const char *Text, uint32_t Offset = 0) {
  Image Vpd{};
  std::memcpy(Vpd.data() + Offset, Text, std::strlen(Text));
  Mac Out{};
  HexToMacAddress(Out.data(), Vpd.data(), Offset);
  return Out;
}

TEST(HexToMacAddressTest, UpperCaseHexAndDigitsConvert) {
  EXPECT_EQ(Convert("0002C9ABCDEF"), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(Convert("F0E1D2C3B4A5", 40), (Mac{0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5}));
}

TEST(HexToMacAddressTest, OtherCharactersStandForTheirOwnCode) {
  // '1' and 'a': (1 << 4) | 0x61 = 0x71; 'G' (0x47) shifted left leaves 0x70 in the byte;
  // '1' and ':': 0x10 | 0x3A = 0x3A.
  EXPECT_EQ(Convert("1a1a1a1a1a1a"), (Mac{0x71, 0x71, 0x71, 0x71, 0x71, 0x71}));
  EXPECT_EQ(Convert("G0001:000000"), (Mac{0x70, 0x00, 0x3A, 0x00, 0x00, 0x00}));
}

TEST(ScanVpdImageTest, FindsKeywordValuesAndThePortCount) {
  Image Vpd{};
  PutKeyword(Vpd, 0x20, "VA", "2");
  PutKeyword(Vpd, 0x30, "V2", "0002C9000001");
  PutKeyword(Vpd, 0x50, "V3", "0002C9000002");
  VPD_MAC_KEYWORDS Found = ScanVpdImage(Vpd.data());
  EXPECT_EQ(Found.PortCount, 2u);
  EXPECT_EQ(Found.V2Position, 0x33u);
  EXPECT_EQ(Found.V3Position, 0x53u);

  EXPECT_EQ(ScanVpdImage(Image{}.data()).V2Position, 0u);
}

TEST(ScanVpdImageTest, LaterMatchesReplaceEarlierOnesAnywhereInTheImage) {
  Image Vpd{};
  PutKeyword(Vpd, 0x10, "VA", "4");
  PutKeyword(Vpd, 0x20, "V2", "000000000001");
  // A product-name value that happens to hold keyword headers: they count too.
  PutKeyword(Vpd, 0x40, "PN", "xxVA?1V2?000000000002");
  Vpd[0x43 + 4] = 1;
  Vpd[0x43 + 8] = 12;
  VPD_MAC_KEYWORDS Found = ScanVpdImage(Vpd.data());
  EXPECT_EQ(Found.PortCount, 1u);
  EXPECT_EQ(Found.V2Position, 0x4Cu);
}

TEST(ScanVpdImageTest, KeywordsMustEndInsideTheImage) {
  Image Vpd{};
  PutKeyword(Vpd, 241, "V2", "0002C9000001"); // ends exactly at 256
  EXPECT_EQ(ScanVpdImage(Vpd.data()).V2Position, 244u);

  Image Late{};
  Late[242] = 'V', Late[243] = '3', Late[244] = 12;
  Late[252] = 'V', Late[253] = 'A', Late[254] = 1, Late[255] = '3';
  VPD_MAC_KEYWORDS Found = ScanVpdImage(Late.data());
  EXPECT_EQ(Found.V3Position, 0u);
  EXPECT_EQ(Found.PortCount, 3u);

  Image Tail{};
  Tail[253] = 'V', Tail[254] = 'A', Tail[255] = 1; // its value would lie past the end
  EXPECT_EQ(ScanVpdImage(Tail.data()).PortCount, 0u);
}

TEST(ScanVpdImageTest, PortCountIsTheDigitMinusZeroWithoutSign) {
  const std::pair<char, uint32_t> Cases[] = {
      {'0', 0}, {'1', 1}, {'9', 9}, {'A', 17}, {' ', 0xFFFFFFF0}};
  for (auto [Digit, Expected] : Cases) {
    Image Vpd{};
    PutKeyword(Vpd, 0, "VA", std::string(1, Digit).c_str());
    EXPECT_EQ(ScanVpdImage(Vpd.data()).PortCount, Expected) << Digit;
  }
  Image WrongLength{};
  PutKeyword(WrongLength, 0, "VA", "22");
  EXPECT_EQ(ScanVpdImage(WrongLength.data()).PortCount, 0u);
}

class ReadVpdMacAddressTest : public DriverTest {
protected:
  static constexpr uint16_t kNic = 0x0300;

  void AddMellanox(const Image &Vpd) {
    Model().AddFunction(kNic, 0x101715B3, 0x02);
    Model().SetCapabilities(kNic, {0x01, 0x03}, Vpd);
  }
  Mac Read(uint16_t Keyword) {
    Mac Entry{};
    ReadVpdMacAddress(kNic, Keyword, Entry.data());
    return Entry;
  }
};

TEST_F(ReadVpdMacAddressTest, ReadsTheWholeImageThroughEcamAndPicksTheKeyword) {
  Image Vpd{};
  PutKeyword(Vpd, 0x90, "VA", "2");
  PutKeyword(Vpd, 0xA0, "V2", "0002C9ABCDE0");
  PutKeyword(Vpd, 0xE0, "V3", "0002C9ABCDE1");
  AddMellanox(Vpd);
  EXPECT_EQ(Read(VPD_KEYWORD_V2), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xE0}));

  // 64 offsets written to the 16-bit address register of the capability at 0x48, bit 15 clear.
  std::vector<uint64_t> Offsets;
  for (const HwAccess &Access : Model().Log) {
    if (Access.Write && Access.Kind == HwAccess::Mmio) {
      EXPECT_EQ(Access.Address, Ecam(kNic, 0x4A));
      EXPECT_EQ(Access.Width, 16u);
      Offsets.push_back(Access.Value);
    }
  }
  ASSERT_EQ(Offsets.size(), 64u);
  for (size_t I = 0; I < Offsets.size(); I++) {
    EXPECT_EQ(Offsets[I], 4 * I);
  }
  EXPECT_EQ(Read(VPD_KEYWORD_V3), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xE1}));
}

TEST_F(ReadVpdMacAddressTest, PortCountGatesEachKeyword) {
  Image Vpd{};
  PutKeyword(Vpd, 0x10, "VA", "1");
  PutKeyword(Vpd, 0x20, "V2", "0002C9ABCDE0");
  PutKeyword(Vpd, 0x40, "V3", "0002C9ABCDE1");
  AddMellanox(Vpd);
  EXPECT_EQ(Read(VPD_KEYWORD_V2), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xE0}));
  EXPECT_EQ(Read(VPD_KEYWORD_V3), Mac{});
}

TEST_F(ReadVpdMacAddressTest, MissingKeywordOrPortCountLeavesTheEntryZero) {
  Image Vpd{};
  Vpd[0] = '0', Vpd[1] = '0', Vpd[2] = '1'; // what a conversion from offset 0 would take
  PutKeyword(Vpd, 0x10, "VA", "2");
  PutKeyword(Vpd, 0x20, "V2", "0002C9ABCDE0");
  AddMellanox(Vpd);
  EXPECT_EQ(Read(VPD_KEYWORD_V3), Mac{});

  Model().Functions.at(kNic).Vpd[0x10] = 'X'; // no "VA" at all
  EXPECT_EQ(Read(VPD_KEYWORD_V2), Mac{});
}

// 100 polls back to back, then a 100 us stall before each further poll, until 100 ms of stalls.
TEST_F(ReadVpdMacAddressTest, VpdThatNeverCompletesGivesUpAfterAboutATenthOfASecond) {
  Image Vpd{};
  PutKeyword(Vpd, 0x10, "VA", "2");
  PutKeyword(Vpd, 0x20, "V2", "0002C9ABCDE0");
  AddMellanox(Vpd);
  Model().Functions.at(kNic).VpdReadyAfter = -1;
  EXPECT_EQ(Read(VPD_KEYWORD_V2), Mac{});
  size_t Polls = 0;
  for (const HwAccess &Access : Model().Log) {
    Polls += !Access.Write && Access.Address == Ecam(kNic, 0x4A);
  }
  EXPECT_EQ(Polls, 1100u);
  EXPECT_EQ(Dxe().Stalls, std::vector<UINTN>(1000, 100));

  // The poll after the last stall still counts.
  Dxe().Stalls.clear();
  Model().Functions.at(kNic).VpdReadyAfter = 1100;
  EXPECT_EQ(Read(VPD_KEYWORD_V2), (Mac{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xE0}));
  EXPECT_EQ(Dxe().Stalls.size(), 64u * 1000);
}

TEST_F(ReadVpdMacAddressTest, DeviceWithoutVpdIsLeftAlone) {
  Model().AddFunction(kNic, 0x101715B3, 0x02);
  Model().SetCapabilities(kNic, {0x01, 0x05});
  Mac Entry{1, 2, 3, 4, 5, 6};
  ReadVpdMacAddress(kNic, VPD_KEYWORD_V2, Entry.data());
  EXPECT_EQ(Entry, (Mac{1, 2, 3, 4, 5, 6}));
  for (const HwAccess &Access : Model().Log) {
    EXPECT_EQ(Access.Kind, HwAccess::Io);
  }
}

} // namespace
