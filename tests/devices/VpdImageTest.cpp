// The VPD store builder, checked by reading its output the way the PCI specification lays a
// VPD out: resource tags with their lengths, keywords inside VPD-R, and the "RV" checksum.
#include "Devices/VpdImage.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>

namespace boardsim {
namespace {

struct ReadVpd {
  std::string identifier;
  std::vector<std::pair<std::string, std::string>> keywords; // in order, "RV" included
  size_t checksumAt = 0;                                     // offset of RV's first data byte
  size_t endTagAt = 0;
  bool wellFormed = false;
};

ReadVpd Read(const std::vector<uint8_t> &vpd) {
  ReadVpd read;
  size_t at = 0;
  auto largeLength = [&](size_t tagAt) {
    return size_t{vpd[tagAt + 1]} | size_t{vpd[tagAt + 2]} << 8;
  };
  if (vpd.size() < 3 || vpd[0] != 0x82)
    return read;
  const size_t idLength = largeLength(0);
  read.identifier.assign(vpd.begin() + 3, vpd.begin() + 3 + idLength);
  at = 3 + idLength;
  if (vpd[at] != 0x90)
    return read;
  const size_t end = at + 3 + largeLength(at);
  at += 3;
  while (at < end) {
    std::string name(vpd.begin() + at, vpd.begin() + at + 2);
    const size_t length = vpd[at + 2];
    if (name == "RV")
      read.checksumAt = at + 3;
    read.keywords.emplace_back(name,
                               std::string(vpd.begin() + at + 3, vpd.begin() + at + 3 + length));
    at += 3 + length;
  }
  read.endTagAt = at;
  read.wellFormed = at == end && vpd[at] == 0x78;
  return read;
}

uint8_t SumThrough(const std::vector<uint8_t> &vpd, size_t last) {
  return static_cast<uint8_t>(std::accumulate(vpd.begin(), vpd.begin() + last + 1, 0u));
}

TEST(VpdImage, KeywordsFollowTheIdentifierInOrderAndRvClosesTheReadOnlyPart) {
  const std::vector<VpdKeyword> keywords = {
      {"PN", "MCX4121A"}, {"VA", "2"}, {"V2", "0002C9ABCDEF"}, {"V3", "0002C9ABCDF0"}};
  const std::vector<uint8_t> vpd = BuildVpdImage("Dual Port NIC", keywords);
  const ReadVpd read = Read(vpd);

  ASSERT_TRUE(read.wellFormed);
  EXPECT_EQ(read.identifier, "Dual Port NIC");
  ASSERT_EQ(read.keywords.size(), keywords.size() + 1);
  for (size_t i = 0; i < keywords.size(); ++i) {
    EXPECT_EQ(read.keywords[i].first, keywords[i].keyword);
    EXPECT_EQ(read.keywords[i].second, keywords[i].value);
  }
  EXPECT_EQ(read.keywords.back().first, "RV");
  EXPECT_EQ(SumThrough(vpd, read.checksumAt), 0) << "bytes up to the RV checksum must sum to 0";
}

TEST(VpdImage, StoreIsPaddedWithZeroToTheImageSizeButNeverCut) {
  const std::vector<uint8_t> small = BuildVpdImage("x", {{"VA", "1"}});
  ASSERT_EQ(small.size(), kVpdImageSize);
  const ReadVpd read = Read(small);
  ASSERT_TRUE(read.wellFormed);
  for (size_t i = read.endTagAt + 1; i < small.size(); ++i)
    EXPECT_EQ(small[i], 0) << i;

  std::vector<VpdKeyword> many;
  for (char c = 'A'; c <= 'J'; ++c)
    many.push_back({std::string("V") + c, std::string(40, c)});
  const std::vector<uint8_t> large = BuildVpdImage("Adapter", many);
  EXPECT_GT(large.size(), kVpdImageSize);
  const ReadVpd readLarge = Read(large);
  ASSERT_TRUE(readLarge.wellFormed);
  EXPECT_EQ(readLarge.keywords.size(), many.size() + 1);
  EXPECT_EQ(SumThrough(large, readLarge.checksumAt), 0);
}

TEST(VpdImage, EmptyKeywordListStillHasChecksumAndEndTag) {
  const std::vector<uint8_t> vpd = BuildVpdImage("", {});
  const ReadVpd read = Read(vpd);
  ASSERT_TRUE(read.wellFormed);
  ASSERT_EQ(read.keywords.size(), 1u);
  EXPECT_EQ(SumThrough(vpd, read.checksumAt), 0);
}

TEST(VpdImage, FieldsAreCutToWhatTheirHeadersCanDescribe) {
  const std::vector<uint8_t> vpd =
      BuildVpdImage("id", {{"V", "short"}, {"VL", std::string(300, 'z')}});
  const ReadVpd read = Read(vpd);
  ASSERT_TRUE(read.wellFormed);
  EXPECT_EQ(read.keywords[0].first, "V ");
  EXPECT_EQ(read.keywords[1].second, std::string(255, 'z'));
  EXPECT_EQ(SumThrough(vpd, read.checksumAt), 0);
}

} // namespace
} // namespace boardsim
