#include "Services/PcdDatabase.h"

#include "Board/PcdTable.h"
#include "Core/Simulator.h"

namespace boardsim {
namespace {

uint64_t Mask(uint64_t value, unsigned width) {
  return width >= 64 ? value : value & ((1ULL << width) - 1);
}

} // namespace

PcdDatabase::PcdDatabase(Simulator &sim, const BoardPcd &initial)
    : sim_(sim), values_(initial.values.begin(), initial.values.end()) {}

// A token the platform table does not list takes the width of its first access.
unsigned PcdDatabase::WidthOf(uint64_t token, unsigned accessWidth) {
  const PcdTokenInfo *listed =
      token <= UINT32_MAX ? FindPcdToken(static_cast<uint32_t>(token)) : nullptr;
  if (listed)
    return listed->width;
  return unlistedWidths_.emplace(token, accessWidth).first->second;
}

uint64_t PcdDatabase::Get(uint64_t token, unsigned width) {
  WidthOf(token, width);
  uint64_t value = Mask(Peek(token), width);
  sim_.Emit("pcd_get", [&](Json &e) {
    e["token"] = token;
    e["width"] = width;
    e["value"] = value;
  });
  return value;
}

void PcdDatabase::Set(uint64_t token, unsigned width, uint64_t value) {
  value = Mask(value, std::min(width, WidthOf(token, width)));
  values_[token] = value;
  sim_.Emit("pcd_set", [&](Json &e) {
    e["token"] = token;
    e["width"] = width;
    e["value"] = value;
  });
}

uint64_t PcdDatabase::Peek(uint64_t token) const {
  auto it = values_.find(token);
  return it == values_.end() ? 0 : it->second;
}

void PcdDatabase::Poke(uint64_t token, uint64_t value) {
  values_[token] = value;
}

Json PcdDatabase::Final() const {
  Json pcd = ObjectWithRoom(values_.size());
  for (auto [token, value] : values_)
    AddMember(pcd, std::to_string(token), value);
  return pcd;
}

} // namespace boardsim
