// The platform's variable store, read by GetVariable in DXE and by the read-only variable PPI in
// PEI. Size rules follow UEFI 2.10 section 8.2 (GetVariable).
#pragma once
#include "Core/Status.h"

#include <Base.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

class VariableStore {
public:
  void Set(std::u16string name, const EFI_GUID &guid, std::vector<uint8_t> data,
           uint32_t attributes);

  struct Read {
    Status status;
    uint64_t size; // the stored size when found (also for EFI_BUFFER_TOO_SMALL)
  };
  // Copies the variable into `data` when it fits in `capacity` bytes.
  Read Get(const std::u16string &name, const EFI_GUID &guid, uint32_t *attributes,
           uint64_t capacity, void *data) const;

private:
  struct Key {
    std::u16string name;
    std::vector<uint8_t> guid;
    auto operator<=>(const Key &) const = default;
  };
  struct Value {
    std::vector<uint8_t> data;
    uint32_t attributes;
  };
  static Key MakeKey(std::u16string name, const EFI_GUID &guid);
  std::map<Key, Value> variables_;
};

// A CHAR16 string from firmware memory.
std::u16string ReadChar16String(const CHAR16 *text);
std::string Narrow(const std::u16string &text);

} // namespace boardsim
