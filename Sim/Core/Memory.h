// Memory the platform hands to modules: pools, HOBs, SMRAM and buffers, at the fixed addresses of
// Board/MemoryMap.h (below 4 GiB, so that 32-bit address values mean what they mean on the board,
// and the same on every run). Each pool allocation is surrounded by
// red zones and freed blocks are poisoned (AddressSanitizer's manual poisoning in the sanitizer
// build), so an overrun, a use after free or a double free fails the run instead of passing by
// luck.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>

namespace boardsim {

enum class Space { Pei, Boot, Smram, Platform };
const char *SpaceName(Space space);

class Memory {
public:
  explicit Memory(uint64_t smramSize);
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

  bool InRam(uint64_t address, uint64_t length) const;
  uint64_t SmramBase() const { return Base(Space::Smram); }
  uint64_t SmramSize() const { return smramSize_; }
  bool InSmram(uint64_t address) const;

private:
  struct Pool {
    uint8_t *begin;
    uint8_t *end;
    uint8_t *next;
  };
  struct Block {
    Space space;
    size_t size;
  };
  uint64_t Base(Space space) const;

  uint64_t smramSize_;
  Pool pools_[4]{};
  std::map<const void *, Block> live_;
};

} // namespace boardsim
