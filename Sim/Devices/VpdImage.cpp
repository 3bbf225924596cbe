#include "Devices/VpdImage.h"

#include <algorithm>

namespace boardsim {
namespace {

constexpr size_t kMaxKeywordValue = 0xFF;

void PutLargeResourceHeader(std::vector<uint8_t> &out, uint8_t tag, size_t length) {
  out.push_back(tag);
  out.push_back(static_cast<uint8_t>(length & 0xFF));
  out.push_back(static_cast<uint8_t>(length >> 8));
}

} // namespace

std::vector<uint8_t> BuildVpdImage(std::string_view identifier,
                                   const std::vector<VpdKeyword> &keywords) {
  std::vector<uint8_t> out;
  out.reserve(kVpdImageSize);
  PutLargeResourceHeader(out, kVpdIdentifierStringTag, identifier.size());
  out.insert(out.end(), identifier.begin(), identifier.end());

  std::vector<uint8_t> fields;
  fields.reserve(kVpdImageSize);
  for (const VpdKeyword &keyword : keywords) {
    const size_t length = std::min(keyword.value.size(), kMaxKeywordValue);
    fields.push_back(keyword.keyword.size() > 0 ? keyword.keyword[0] : ' ');
    fields.push_back(keyword.keyword.size() > 1 ? keyword.keyword[1] : ' ');
    fields.push_back(static_cast<uint8_t>(length));
    fields.insert(fields.end(), keyword.value.begin(), keyword.value.begin() + length);
  }
  // "RV" closes the read-only resource; its one data byte makes every byte from the start of
  // the store up to and including it sum to zero.
  fields.insert(fields.end(), {'R', 'V', 1});
  PutLargeResourceHeader(out, kVpdReadOnlyTag, fields.size() + 1);
  out.insert(out.end(), fields.begin(), fields.end());
  uint8_t sum = 0;
  for (uint8_t byte : out)
    sum = static_cast<uint8_t>(sum + byte);
  out.push_back(static_cast<uint8_t>(0x100 - sum));

  out.push_back(kVpdEndTag);
  if (out.size() < kVpdImageSize)
    out.resize(kVpdImageSize, 0);
  return out;
}

} // namespace boardsim
