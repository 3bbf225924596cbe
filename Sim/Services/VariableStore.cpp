#include "Services/VariableStore.h"

#include <cstring>

namespace boardsim {

VariableStore::Key VariableStore::MakeKey(std::u16string name, const EFI_GUID &guid) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(&guid);
  return {std::move(name), std::vector<uint8_t>(bytes, bytes + sizeof guid)};
}

void VariableStore::Set(std::u16string name, const EFI_GUID &guid, std::vector<uint8_t> data,
                        uint32_t attributes) {
  variables_[MakeKey(std::move(name), guid)] = {std::move(data), attributes};
}

VariableStore::Read VariableStore::Get(const std::u16string &name, const EFI_GUID &guid,
                                       uint32_t *attributes, uint64_t capacity, void *data) const {
  auto it = variables_.find(MakeKey(name, guid));
  if (it == variables_.end())
    return {EFI_NOT_FOUND, capacity};
  const Value &value = it->second;
  if (capacity < value.data.size())
    return {EFI_BUFFER_TOO_SMALL, value.data.size()};
  if (!data && !value.data.empty())
    return {EFI_INVALID_PARAMETER, capacity};
  if (!value.data.empty())
    std::memcpy(data, value.data.data(), value.data.size());
  if (attributes)
    *attributes = value.attributes;
  return {EFI_SUCCESS, value.data.size()};
}

std::u16string ReadChar16String(const CHAR16 *text) {
  std::u16string result;
  if (text)
    for (; *text; ++text)
      result.push_back(*text);
  return result;
}

std::string Narrow(const std::u16string &text) {
  std::string result;
  for (char16_t c : text)
    result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return result;
}

} // namespace boardsim
