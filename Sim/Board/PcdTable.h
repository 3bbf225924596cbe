// The platform's dynamic PCD tokens that a board file may name: name, token number, width.
#pragma once

#include <cstdint>
#include <string_view>

namespace boardsim {

struct PcdTokenInfo {
  std::string_view name;
  uint32_t number;
  uint32_t width; // bits: 8, 32 or 64
};

inline constexpr PcdTokenInfo kPcdTokenTable[] = {
    {"PcdNic1BridgeLocation", 2, 32},   {"PcdNic2BridgeLocation", 203, 32},
    {"PcdNic3BridgeLocation", 204, 32}, {"PcdNic4BridgeLocation", 205, 32},
    {"PcdNicFunctionLayout", 251, 8},   {"PcdBoardInputWord", 195, 32},
    {"PcdBoardInputField", 196, 8},     {"PcdBoardDeviceCode", 232, 32},
    {"PcdBoardFixedByte", 278, 8},      {"PcdBoardSetupMask", 279, 64},
    {"PcdS3LibPrivateData", 552, 64},   {"PcdS3CommunicationBuffer", 553, 64},
};

constexpr const PcdTokenInfo *FindPcdToken(std::string_view name) {
  for (const PcdTokenInfo &token : kPcdTokenTable) {
    if (token.name == name)
      return &token;
  }
  return nullptr;
}

constexpr const PcdTokenInfo *FindPcdToken(uint32_t number) {
  for (const PcdTokenInfo &token : kPcdTokenTable) {
    if (token.number == number)
      return &token;
  }
  return nullptr;
}

} // namespace boardsim
