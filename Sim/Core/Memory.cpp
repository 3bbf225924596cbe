#include "Core/Memory.h"

#include "Board/Board.h"

#include <cstring>
#include <map>
#include <stdexcept>
#include <sys/mman.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BOARDSIM_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BOARDSIM_ASAN 1
#endif
#if defined(BOARDSIM_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace boardsim {
namespace {

constexpr size_t kRedZone = 16;
constexpr uint8_t kFreshPoolByte = 0xAF;
constexpr size_t kAlign = 16;
constexpr size_t kMiB = 1024 * 1024;
// Pool sizes of the general spaces; SMRAM takes what the board gives it. The platform space
// also holds the HOB list, as large as a board file may make it.
constexpr size_t kGeneralSizes[] = {2 * kMiB, 10 * kMiB, 0, 4 * kMiB + kMaxHobListFootprint};

void Poison(const void *p, size_t n) {
#if defined(BOARDSIM_ASAN)
  ASAN_POISON_MEMORY_REGION(p, n);
#else
  (void)p, (void)n;
#endif
}
void Unpoison(const void *p, size_t n) {
#if defined(BOARDSIM_ASAN)
  ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
  (void)p, (void)n;
#endif
}
size_t RoundUp(size_t v, size_t a) {
  return (v + a - 1) / a * a;
}

// Regions of finished runs, kept for the next run: mapping and unmapping tens of MiB per boot
// would cost more than the boot itself. Each region comes back zero-filled.
std::multimap<size_t, uint8_t *> &SpareRegions() {
  static std::multimap<size_t, uint8_t *> spare;
  return spare;
}

uint8_t *MapRegion(size_t size) {
  auto &spare = SpareRegions();
  if (auto it = spare.find(size); it != spare.end()) {
    uint8_t *region = it->second;
    spare.erase(it);
    return region;
  }
  // MAP_32BIT keeps every address below 2 GiB.
  void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED)
    throw std::runtime_error("cannot map board memory below 4 GiB");
  return static_cast<uint8_t *>(p);
}

} // namespace

const char *SpaceName(Space space) {
  static constexpr const char *kNames[] = {"pei", "boot", "smram", "platform"};
  return kNames[static_cast<int>(space)];
}

Memory::Memory(uint64_t smramSize) : smramSize_(smramSize) {
  size_t sizes[4] = {kGeneralSizes[0], kGeneralSizes[1], RoundUp(smramSize, 4096),
                     kGeneralSizes[3]};
  for (size_t s : sizes)
    regionSize_ += s;
  region_ = MapRegion(regionSize_);
  uint8_t *cursor = region_;
  for (int i = 0; i < 4; ++i) {
    pools_[i] = {cursor, cursor + sizes[i], cursor};
    cursor += sizes[i];
  }
  Poison(region_, regionSize_);
}

Memory::~Memory() {
  Unpoison(region_, regionSize_);
  for (const Pool &pool : pools_)
    std::memset(pool.begin, 0, pool.next - pool.begin);
  SpareRegions().emplace(regionSize_, region_);
}

uint64_t Memory::Base(Space space) const {
  return reinterpret_cast<uint64_t>(pools_[static_cast<int>(space)].begin);
}

void *Memory::Allocate(Space space, size_t size) {
  Pool &pool = pools_[static_cast<int>(space)];
  uint8_t *block = pool.next + kRedZone;
  size_t span = RoundUp(size + 2 * kRedZone, kAlign);
  if (pool.next + span > pool.end)
    return nullptr;
  pool.next += span;
  Unpoison(block, size);
  // Firmware pools hand out uninitialised memory: make a module that forgets to clear it visible.
  std::memset(block, space == Space::Platform ? 0 : kFreshPoolByte, size);
  live_[block] = {space, size};
  return block;
}

bool Memory::Free(Space space, void *block) {
  auto it = live_.find(block);
  if (it == live_.end() || it->second.space != space)
    return false;
  Poison(block, it->second.size);
  live_.erase(it);
  return true;
}

bool Memory::Owns(Space space, const void *block) const {
  auto it = live_.find(block);
  return it != live_.end() && it->second.space == space;
}

bool Memory::InRam(uint64_t address, uint64_t length) const {
  uint64_t begin = reinterpret_cast<uint64_t>(region_);
  return address >= begin && length <= regionSize_ && address - begin <= regionSize_ - length;
}

bool Memory::InSmram(uint64_t address) const {
  const Pool &smram = pools_[static_cast<int>(Space::Smram)];
  return address >= reinterpret_cast<uint64_t>(smram.begin) &&
         address < reinterpret_cast<uint64_t>(smram.begin) + smramSize_;
}

} // namespace boardsim
