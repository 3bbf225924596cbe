// Memory the platform hands to modules: pools, HOBs, SMRAM and buffers, at the fixed addresses of
// Board/MemoryMap.h (below 4 GiB, so that 32-bit address values mean what they mean on the board,
// and the same on every run). Each pool allocation is surrounded by
// red zones and freed blocks are poisoned (AddressSanitizer's manual poisoning in the sanitizer
// build), so an overrun, a use after free or a double free fails the run instead of passing by
// luck.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace boardsim {

enum class Space { Pei, Boot, Smram, Platform };
const char *SpaceName(Space space);

class Memory {
public:
  struct Range {
    uint64_t begin;
    uint64_t size;
    bool Overlaps(uint64_t b, uint64_t n) const { return begin < b + n && b < begin + size; }
  };
  struct Layout {
    uint64_t smramSize;
    std::vector<Range> moreSmram; // SMRAM ranges apart from the one at kSmramBase
    // Bytes of each space that the platform keeps for itself from run to run (the image areas),
    // indexed by Space: at the bottom of SMRAM, whose size is the board's, so that they stay in
    // place whatever size a board gives it; at the top of the other pools, whose sizes are fixed.
    uint64_t kept[4] = {};
  };
  explicit Memory(const Layout &layout);
  explicit Memory(uint64_t smramSize) : Memory(Layout{smramSize, {}}) {}
  ~Memory();
  Memory(const Memory &) = delete;
  Memory &operator=(const Memory &) = delete;

  // A block from the space's pool (platform blocks zero-filled, pool blocks not), or nullptr
  // when the pool is exhausted.
  void *Allocate(Space space, size_t size);
  // False when `block` is not a live allocation of `space` (foreign memory, double free).
  bool Free(Space space, void *block);
  // The space whose pool holds the live block at `address`, if any.
  bool Owns(Space space, const void *block) const;

  // Blocks whose red zones were written since the last call: live ones (each reported once, then
  // repainted) and ones found so when they were freed.
  struct Overrun {
    Space space;
    uint64_t address;
    size_t size;
  };
  std::vector<Overrun> TakeOverruns();

  bool InRam(uint64_t address, uint64_t length) const;
  // InRam, and (in the sanitizer build) not a red zone or freed block: what the simulator itself
  // may read when it looks at module data.
  bool Readable(uint64_t address, uint64_t length) const;
  // In any SMRAM range of the board.
  bool InSmram(uint64_t address) const;

  // The mappings that hold the spaces (the general pools, SMRAM, further SMRAM ranges), and one
  // space's pool as first laid out.
  std::vector<Range> Regions() const;
  Range PoolRange(Space space) const;

  // The memory a space keeps, or an empty range when its pool was too small to spare it.
  Range Kept(Space space) const { return kept_[static_cast<int>(space)]; }
  // Content placed in kept memory that stays there from run to run (a host image and its data).
  // `evict` runs before anything else is put over it, or before a run whose layout makes that
  // memory part of a pool.
  void Keep(Range range, std::function<void()> evict);
  // Anything kept in `range` is evicted: the caller is about to write over it.
  void Overwrite(Range range);
  // Takes `size` bytes (a multiple of 4 KiB) off the top of a space's pool, for memory the
  // platform keeps for itself (image-engine images and stacks); pool addresses stay as they are.
  // nullptr when the pool cannot spare them.
  void *ReserveTop(Space space, size_t size);

private:
  struct Pool {
    uint8_t *begin;
    uint8_t *end;
    uint8_t *next;
    uint8_t *top; // end as first laid out, before any ReserveTop
  };
  // A live block; live_ is kept in address order, so that a look-up is a binary search and the
  // red zones of all live blocks, checked after every call into module code, are one linear walk.
  struct Block {
    uint8_t *begin;
    size_t size;
    Space space;
    static bool Before(const Block &block, const void *address) {
      return std::less<const void *>()(block.begin, address);
    }
  };
  // The live block that begins at `block`, or live.end().
  template <typename Blocks> static auto FindIn(Blocks &live, const void *block);
  void PaintGuards(uint8_t *block, size_t size);
  bool GuardsIntact(const uint8_t *block, size_t size) const;

  uint64_t smramSize_;
  std::vector<Range> moreSmram_;
  Range kept_[4]{};
  Pool pools_[4]{};
  std::vector<Block> live_;
  std::vector<Overrun> freedOverruns_; // found when the block was freed, not yet taken
};

} // namespace boardsim
