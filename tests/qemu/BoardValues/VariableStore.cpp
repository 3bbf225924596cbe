#include "VariableStore.h"

#include <Guids.h>

#include <algorithm>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qemuboard {
namespace {

// AAF32C78-947B-439A-A180-2E144EC37792: a store of variables with authentication fields.
constexpr std::array<std::uint8_t, 16> kAuthenticatedStoreGuid = {
    0x78, 0x2C, 0xF3, 0xAA, 0x7B, 0x94, 0x9A, 0x43, 0xA1, 0x80, 0x2E, 0x14, 0x4E, 0xC3, 0x77, 0x92};

constexpr std::size_t kVolumeHeaderLengthOffset = 48; // EFI_FIRMWARE_VOLUME_HEADER.HeaderLength
constexpr std::uint16_t kStartId = 0x55AA;
constexpr std::uint8_t kVariableAdded = 0x3F;
constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint32_t kNonVolatileBootRuntime = 0x7;

// The variable store header after the volume header.
struct StoreHeader {
  std::uint8_t Signature[16];
  std::uint32_t Size;
  std::uint8_t Format;
  std::uint8_t State;
  std::uint16_t Reserved;
  std::uint32_t Reserved1;
};
static_assert(sizeof(StoreHeader) == 28);

// A variable with authentication fields; the name (UCS-2) and the data follow it. The store
// packs it: the 64-bit count is not aligned.
#pragma pack(push, 1)
struct AuthenticatedVariableHeader {
  std::uint16_t StartId;
  std::uint8_t State;
  std::uint8_t Reserved;
  std::uint32_t Attributes;
  std::uint64_t MonotonicCount;
  std::uint8_t TimeStamp[16];
  std::uint32_t PubKeyIndex;
  std::uint32_t NameSize;
  std::uint32_t DataSize;
  std::uint8_t VendorGuid[16];
};
#pragma pack(pop)
static_assert(sizeof(AuthenticatedVariableHeader) == 60);
static_assert(offsetof(AuthenticatedVariableHeader, NameSize) == 36);
static_assert(offsetof(AuthenticatedVariableHeader, VendorGuid) == 44);

std::size_t AlignUp4(std::size_t value) {
  return (value + 3) & ~std::size_t{3};
}

} // namespace

std::vector<std::uint8_t> WithSetupVariable(std::vector<std::uint8_t> store,
                                            const boardsim::SetupVariable &setup) {
  if (!setup.present) {
    return store;
  }
  std::uint16_t headerLength = 0;
  if (store.size() >= kVolumeHeaderLengthOffset + 2) {
    std::memcpy(&headerLength, store.data() + kVolumeHeaderLengthOffset, 2);
  }
  StoreHeader header{};
  if (headerLength + sizeof(header) > store.size()) {
    throw std::runtime_error("the variable store file has no store after its volume header");
  }
  std::memcpy(&header, store.data() + headerLength, sizeof(header));
  if (std::memcmp(header.Signature, kAuthenticatedStoreGuid.data(), 16) != 0 ||
      headerLength + header.Size > store.size()) {
    throw std::runtime_error("the variable store is not an authenticated variable store of the "
                             "size its header gives");
  }
  const std::size_t end = headerLength + header.Size;
  std::size_t at = AlignUp4(headerLength + sizeof(header));
  for (AuthenticatedVariableHeader variable; at + sizeof(variable) <= end;) {
    std::memcpy(&variable, store.data() + at, sizeof(variable));
    if (variable.StartId != kStartId) {
      break;
    }
    at = AlignUp4(at + sizeof(variable) + variable.NameSize + variable.DataSize);
  }
  const std::u16string name = u"Setup";
  AuthenticatedVariableHeader variable{};
  variable.StartId = kStartId;
  variable.State = kVariableAdded;
  variable.Attributes = kNonVolatileBootRuntime;
  variable.NameSize = static_cast<std::uint32_t>((name.size() + 1) * 2);
  variable.DataSize = static_cast<std::uint32_t>(setup.data.size());
  std::memcpy(variable.VendorGuid, &SETUP_VARIABLE_GUID, 16);
  const std::size_t total = sizeof(variable) + variable.NameSize + variable.DataSize;
  if (at + total > end || std::any_of(store.begin() + static_cast<std::ptrdiff_t>(at),
                                      store.begin() + static_cast<std::ptrdiff_t>(at + total),
                                      [](std::uint8_t byte) { return byte != kErased; })) {
    throw std::runtime_error("the variable store has no erased room for Setup (" +
                             std::to_string(total) + " bytes)");
  }
  std::memcpy(store.data() + at, &variable, sizeof(variable));
  std::memcpy(store.data() + at + sizeof(variable), name.c_str(), variable.NameSize);
  std::copy(setup.data.begin(), setup.data.end(),
            store.begin() + static_cast<std::ptrdiff_t>(at + sizeof(variable) + variable.NameSize));
  return store;
}

} // namespace qemuboard
