#include "Core/Memory.h"

#include "Board/MemoryMap.h"
#include "Core/Sanitizer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/mman.h>

namespace boardsim {
namespace {

constexpr size_t kRedZone = 16;
constexpr uint8_t kFreshPoolByte = 0xAF;
// What the red zones hold: a write past either end of a block changes it, in every build and in
// both engines (image code writes guest memory without AddressSanitizer seeing it).
constexpr uint8_t kGuardByte = 0xFD;
constexpr uint64_t kGuardWord = 0x0101010101010101ull * kGuardByte;
static_assert(kRedZone == 2 * sizeof(uint64_t), "a red zone is checked as two words");
constexpr size_t kAlign = 16;
constexpr size_t kPage = 4096;

size_t RoundUp(size_t v, size_t a) {
  return (v + a - 1) / a * a;
}

std::string HexAddress(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// Maps [begin, end) at exactly that place, or throws naming the range when something else of the
// process already lies there.
void MapFixed(uint64_t begin, uint64_t end, const char *what) {
  void *want = reinterpret_cast<void *>(begin);
  void *p = mmap(want, end - begin, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE | MAP_NORESERVE, -1, 0);
  if (p == want)
    return;
  if (p != MAP_FAILED)
    munmap(p, end - begin);
  throw std::runtime_error(
      std::string("cannot map ") + what + " at " + HexAddress(begin) + "-" + HexAddress(end - 1) +
      ": " +
      (p == MAP_FAILED && errno != EEXIST ? std::strerror(errno) : "the address range is taken") +
      " (board memory lives at fixed addresses; run boardsim in a process "
      "of its own)");
}

// Board memory is mapped once per process and kept: mapping and unmapping tens of MiB per boot
// would cost more than the boot itself. Each run gets it back zero-filled; only one run at a
// time can use it. What a run leaves in kept memory for the next (host images) is listed here,
// with what removes it.
struct KeptContent {
  Memory::Range range;
  std::function<void()> evict;
};
struct BoardMemory {
  std::vector<std::pair<uint64_t, uint64_t>> mapped; // [begin, end), in address order
  std::vector<KeptContent> kept;
  Memory::Range keptAreas[4]{}; // of the last run, to see when a layout moves them
  bool inUse = false;
};
BoardMemory &Mapped() {
  static BoardMemory mapped;
  return mapped;
}

// Maps what of [begin, end) is not mapped yet; boards of one process may describe their SMRAM
// differently, so ranges grow and meet.
void EnsureMapped(uint64_t begin, uint64_t end, const char *what) {
  auto &mapped = Mapped().mapped;
  for (auto [b, e] : mapped)
    if (b <= begin && end <= e)
      return; // the usual case: a run like the one before
  uint64_t cursor = begin;
  for (auto [b, e] : mapped) {
    if (e <= cursor || b >= end)
      continue;
    if (b > cursor)
      MapFixed(cursor, b, what);
    cursor = std::max(cursor, e);
  }
  if (cursor < end)
    MapFixed(cursor, end, what);
  mapped.emplace_back(begin, end);
  std::sort(mapped.begin(), mapped.end());
  std::vector<std::pair<uint64_t, uint64_t>> merged;
  for (auto range : mapped)
    if (!merged.empty() && range.first <= merged.back().second)
      merged.back().second = std::max(merged.back().second, range.second);
    else
      merged.push_back(range);
  mapped = std::move(merged);
}

void EvictOverlapping(uint64_t begin, uint64_t size) {
  auto &kept = Mapped().kept;
  for (size_t i = 0; i < kept.size();) {
    if (!kept[i].range.Overlaps(begin, size)) {
      ++i;
      continue;
    }
    std::function<void()> evict = std::move(kept[i].evict);
    kept.erase(kept.begin() + static_cast<ptrdiff_t>(i));
    if (evict)
      evict();
  }
}

} // namespace

const char *SpaceName(Space space) {
  static constexpr const char *kNames[] = {"pei", "boot", "smram", "platform"};
  return kNames[static_cast<int>(space)];
}

Memory::Memory(const Layout &layout) : smramSize_(layout.smramSize), moreSmram_(layout.moreSmram) {
  BoardMemory &board = Mapped();
  if (board.inUse)
    throw std::runtime_error("board memory is in use by another run in this process");
  if (smramSize_ < kSmramMinSize || smramSize_ > kSmramMaxSize)
    throw std::runtime_error("SMRAM of " + HexAddress(smramSize_) + " bytes cannot be mapped");
  EnsureMapped(kGeneralMemoryBase, kGeneralMemoryEnd, "board memory");
  const uint64_t smramSpan = RoundUp(smramSize_, kPage);
  EnsureMapped(kSmramBase, kSmramBase + smramSpan, "SMRAM");
  for (const Range &range : moreSmram_)
    EnsureMapped(range.begin, range.begin + RoundUp(range.size, kPage), "SMRAM");
  board.inUse = true;
  live_.reserve(64); // room for the blocks a boot usually keeps, so that few allocations regrow
  auto pool = [](uint64_t base, uint64_t size) {
    auto *begin = reinterpret_cast<uint8_t *>(base);
    return Pool{begin, begin + size, begin, begin + size};
  };
  pools_[static_cast<int>(Space::Pei)] = pool(kPeiPoolBase, kPeiPoolSize);
  pools_[static_cast<int>(Space::Boot)] = pool(kBootPoolBase, kBootPoolSize);
  pools_[static_cast<int>(Space::Smram)] = pool(kSmramBase, smramSpan);
  pools_[static_cast<int>(Space::Platform)] = pool(kPlatformPoolBase, kPlatformPoolSize);
  for (int space = 0; space < 4; ++space) {
    Pool &p = pools_[space];
    const uint64_t size = layout.kept[space];
    if (size == 0 || size % kPage != 0 || size > static_cast<uint64_t>(p.end - p.begin))
      continue;
    if (space == static_cast<int>(Space::Smram)) {
      kept_[space] = {reinterpret_cast<uint64_t>(p.begin), size};
      p.begin += size;
      p.next = p.begin;
    } else {
      p.end -= size;
      p.top = p.end;
      kept_[space] = {reinterpret_cast<uint64_t>(p.end), size};
    }
  }
  // What earlier runs kept where this run has pools or further SMRAM goes; kept memory that moved
  // was poisoned as a pool before.
  for (const Pool &p : pools_)
    EvictOverlapping(reinterpret_cast<uint64_t>(p.begin), p.end - p.begin);
  for (const Range &range : moreSmram_)
    EvictOverlapping(range.begin, range.size);
  for (int space = 0; space < 4; ++space) {
    Range &last = board.keptAreas[space];
    if (last.begin != kept_[space].begin || last.size != kept_[space].size)
      Unpoison(reinterpret_cast<void *>(kept_[space].begin), kept_[space].size);
    last = kept_[space];
  }
  for (const Pool &p : pools_)
    Poison(p.begin, p.end - p.begin);
}

Memory::~Memory() {
  for (const Pool &pool : pools_) {
    Unpoison(pool.begin, pool.end - pool.begin);
    std::memset(pool.begin, 0, pool.next - pool.begin);
  }
  // Nothing allocates from further SMRAM, but a module may have written to it: its pages go back
  // to zero, at the cost of only those that were touched.
  for (const Range &range : moreSmram_)
    madvise(reinterpret_cast<void *>(range.begin), RoundUp(range.size, kPage), MADV_DONTNEED);
  Mapped().inUse = false;
}

void Memory::Keep(Range range, std::function<void()> evict) {
  Overwrite(range);
  Mapped().kept.push_back({range, std::move(evict)});
}

void Memory::Overwrite(Range range) {
  EvictOverlapping(range.begin, range.size);
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
  PaintGuards(block, size);
  live_.insert(std::lower_bound(live_.begin(), live_.end(), block, Block::Before),
               Block{block, size, space});
  return block;
}

void Memory::PaintGuards(uint8_t *block, size_t size) {
  for (uint8_t *guard : {block - kRedZone, block + size}) {
    Unpoison(guard, kRedZone);
    std::memset(guard, kGuardByte, kRedZone);
    Poison(guard, kRedZone);
  }
}

bool Memory::GuardsIntact(const uint8_t *block, size_t size) const {
  bool intact = true;
  for (const uint8_t *guard : {block - kRedZone, block + size}) {
    Unpoison(guard, kRedZone);
    uint64_t words[2];
    std::memcpy(words, guard, kRedZone);
    intact &= words[0] == kGuardWord && words[1] == kGuardWord;
    Poison(guard, kRedZone);
  }
  return intact;
}

std::vector<Memory::Overrun> Memory::TakeOverruns() {
  std::vector<Overrun> overruns = std::move(freedOverruns_);
  freedOverruns_.clear();
  for (const Block &block : live_) {
    if (!GuardsIntact(block.begin, block.size)) {
      overruns.push_back({block.space, reinterpret_cast<uint64_t>(block.begin), block.size});
      PaintGuards(block.begin, block.size);
    }
  }
  return overruns;
}

template <typename Blocks> auto Memory::FindIn(Blocks &live, const void *block) {
  const auto found = std::lower_bound(live.begin(), live.end(), block, Block::Before);
  return found != live.end() && found->begin == block ? found : live.end();
}

bool Memory::Free(Space space, void *block) {
  auto it = FindIn(live_, block);
  if (it == live_.end() || it->space != space)
    return false;
  if (!GuardsIntact(it->begin, it->size))
    freedOverruns_.push_back({space, reinterpret_cast<uint64_t>(block), it->size});
  Poison(block, it->size);
  live_.erase(it);
  return true;
}

std::vector<Memory::Range> Memory::Regions() const {
  std::vector<Range> regions = {{kGeneralMemoryBase, kGeneralMemoryEnd - kGeneralMemoryBase},
                                {kSmramBase, RoundUp(smramSize_, kPage)}};
  for (const Range &range : moreSmram_)
    regions.push_back({range.begin, RoundUp(range.size, kPage)});
  return regions;
}

Memory::Range Memory::PoolRange(Space space) const {
  const Pool &pool = pools_[static_cast<int>(space)];
  return {reinterpret_cast<uint64_t>(pool.begin), static_cast<uint64_t>(pool.top - pool.begin)};
}

void *Memory::ReserveTop(Space space, size_t size) {
  Pool &pool = pools_[static_cast<int>(space)];
  if (size % 4096 != 0 || size > static_cast<size_t>(pool.end - pool.next))
    return nullptr;
  pool.end -= size;
  Unpoison(pool.end, size);
  return pool.end;
}

bool Memory::Owns(Space space, const void *block) const {
  auto it = FindIn(live_, block);
  return it != live_.end() && it->space == space;
}

bool Memory::InRam(uint64_t address, uint64_t length) const {
  auto within = [&](uint64_t begin, uint64_t end) {
    return address >= begin && length <= end - begin && address - begin <= end - begin - length;
  };
  if (within(kGeneralMemoryBase, kGeneralMemoryEnd) ||
      within(kSmramBase, kSmramBase + RoundUp(smramSize_, kPage)))
    return true;
  for (const Range &range : moreSmram_)
    if (within(range.begin, range.begin + range.size))
      return true;
  return false;
}

bool Memory::Readable(uint64_t address, uint64_t length) const {
  if (!InRam(address, length))
    return false;
#if defined(BOARDSIM_ASAN)
  return __asan_region_is_poisoned(reinterpret_cast<void *>(address), length) == nullptr;
#else
  return true;
#endif
}

bool Memory::InSmram(uint64_t address) const {
  if (address >= kSmramBase && address - kSmramBase < smramSize_)
    return true;
  for (const Range &range : moreSmram_)
    if (range.Overlaps(address, 1))
      return true;
  return false;
}

} // namespace boardsim
