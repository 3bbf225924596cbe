// The text forms inside board-file strings, and the closest-name guess behind the hints.
#include "Board/BoardText.h"
#include "Board/NameSuggestion.h"

#include <gtest/gtest.h>

namespace boardsim {
namespace {

TEST(HexBytes, SeparatorsAndCaseAreIgnored) {
  EXPECT_EQ(ParseHexBytes("0002C9abcdef").value,
            (std::vector<uint8_t>{0x00, 0x02, 0xC9, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(ParseHexBytes("00:02:C9 AB CD:EF").value, ParseHexBytes("0002C9ABCDEF").value);
  // Separators do not delimit bytes: digits pair up across them.
  EXPECT_EQ(ParseHexBytes("0 1:2 3").value, (std::vector<uint8_t>{0x01, 0x23}));
  EXPECT_EQ(ParseHexBytes("").value, std::vector<uint8_t>{});
  EXPECT_EQ(ParseHexBytes(" : ").value, std::vector<uint8_t>{});
}

TEST(HexBytes, MalformedTextIsRejectedWithTheReason) {
  auto odd = ParseHexBytes("ABC");
  EXPECT_FALSE(odd.value.has_value());
  EXPECT_NE(odd.problem.find("odd number"), std::string::npos);
  auto letter = ParseHexBytes("AB-CD");
  EXPECT_FALSE(letter.value.has_value());
  EXPECT_NE(letter.problem.find("'-' at position 3"), std::string::npos);
  EXPECT_FALSE(ParseHexBytes("0x12").value.has_value()); // no prefix inside byte strings
}

TEST(Numbers, DecimalAndPrefixedHexUpTo64Bits) {
  EXPECT_EQ(ParseNumber("584").value, 584u);
  EXPECT_EQ(ParseNumber("0x248").value, 0x248u);
  EXPECT_EQ(ParseNumber("0XfF").value, 0xFFu);
  EXPECT_EQ(ParseNumber("0xFFFFFFFFFFFFFFFF").value, UINT64_MAX);
  EXPECT_EQ(ParseNumber("18446744073709551615").value, UINT64_MAX);
  for (std::string_view bad :
       {"", "0x", "0x10000000000000000", "18446744073709551616", "-1", "12a", "0x12g", " 1"}) {
    EXPECT_FALSE(ParseNumber(bad).value.has_value()) << bad;
  }
}

TEST(Bdf, FieldsAndRanges) {
  EXPECT_EQ(ParseBdf("00:1c.0").value, (Bdf{0x00, 0x1C, 0}));
  EXPECT_EQ(ParseBdf("fF:1F.7").value, (Bdf{0xFF, 0x1F, 7}));
  EXPECT_EQ(ParseBdf("1:2.3").value, (Bdf{1, 2, 3}));
  struct Bad {
    std::string_view text;
    std::string_view problem;
  };
  for (const Bad &bad :
       {Bad{"100:00.0", "bus 0x100"}, Bad{"00:20.0", "device 0x20"}, Bad{"00:00.8", "function 8"},
        Bad{"00.00:0", "bb:dd.f"}, Bad{"00:1c", "bb:dd.f"}, Bad{":1c.0", "hex numbers"},
        Bad{"0g:00.0", "hex numbers"}, Bad{"00:00.0.1", "hex numbers"}}) {
    auto parsed = ParseBdf(bad.text);
    EXPECT_FALSE(parsed.value.has_value()) << bad.text;
    EXPECT_NE(parsed.problem.find(bad.problem), std::string::npos) << parsed.problem;
  }
}

TEST(Guid, RegistryFormToMemoryOrder) {
  const GuidBytes expected = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                              0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(ParseGuid("00112233-4455-6677-8899-aabbccddeeff").value, expected);
  EXPECT_EQ(ParseGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}").value, expected);
  EXPECT_EQ(ParseGuid("D97D161A-16CD-4ADA-B9F6-AEC3F9FCCC2C").value, kHeapTransferHobGuid);
  for (std::string_view bad :
       {"00112233-4455-6677-8899-AABBCCDDEEF", "00112233-4455-6677-8899:AABBCCDDEEFF",
        "0011223G-4455-6677-8899-AABBCCDDEEFF", "00112233-4455-6677-88 9-AABBCCDDEEFF",
        "{00112233-4455-6677-8899-AABBCCDDEEFF"}) {
    EXPECT_FALSE(ParseGuid(bad).value.has_value()) << bad;
  }
}

TEST(NameSuggestion, GuessesSlipsButNotOtherWords) {
  constexpr std::string_view names[] = {"fail_first", "fail_on", "present", "address", "regs"};
  EXPECT_EQ(ClosestName("fial_first", names), "fail_first"); // swapped neighbours
  EXPECT_EQ(ClosestName("fail_frist", names), "fail_first");
  EXPECT_EQ(ClosestName("PRESENT", names), "present");
  EXPECT_EQ(ClosestName("adress", names), "address");
  EXPECT_EQ(ClosestName("reg", names), "regs");
  EXPECT_EQ(ClosestName("rges", names), "regs"); // short words allow one slip, a swap included
  EXPECT_EQ(ClosestName("size", names), "");
  EXPECT_EQ(ClosestName("x", names), "");
  EXPECT_EQ(SuggestName("fail_onn", names), "did you mean `fail_on`?");
  EXPECT_EQ(SuggestName("zzz", std::span(names).first(2)), "use one of `fail_first`, `fail_on`");
}

} // namespace
} // namespace boardsim
