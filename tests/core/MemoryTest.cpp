#include "Core/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMORY_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MEMORY_TEST_ASAN 1
#endif
#if defined(MEMORY_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace boardsim {
namespace {

constexpr uint64_t kSmram = 0x100000;

// Writes one byte the way image code does: unseen by AddressSanitizer, which poisons red zones.
void StrayWrite(void *at, uint8_t value) {
#if defined(MEMORY_TEST_ASAN)
  __asan_unpoison_memory_region(at, 1);
#endif
  *static_cast<volatile uint8_t *>(at) = value;
#if defined(MEMORY_TEST_ASAN)
  __asan_poison_memory_region(at, 1);
#endif
}

uint64_t Address(const void *p) {
  return reinterpret_cast<uint64_t>(p);
}

// Blocks of all four spaces, allocated in turn and freed out of order: each stays owned by its
// own space only, for exactly as long as it lives.
TEST(Memory, LiveBlocksBelongToTheirSpaceUntilFreed) {
  Memory memory(kSmram);
  void *boot1 = memory.Allocate(Space::Boot, 24);
  void *platform = memory.Allocate(Space::Platform, 8);
  void *smram = memory.Allocate(Space::Smram, 100);
  void *boot2 = memory.Allocate(Space::Boot, 1);
  void *pei = memory.Allocate(Space::Pei, 64);
  for (void *block : {boot1, platform, smram, boot2, pei})
    ASSERT_NE(block, nullptr);

  EXPECT_TRUE(memory.Owns(Space::Boot, boot1));
  EXPECT_TRUE(memory.Owns(Space::Boot, boot2));
  EXPECT_TRUE(memory.Owns(Space::Smram, smram));
  EXPECT_FALSE(memory.Owns(Space::Boot, smram));
  EXPECT_FALSE(memory.Owns(Space::Pei, platform));
  // Inside a block is not the block.
  EXPECT_FALSE(memory.Owns(Space::Boot, static_cast<uint8_t *>(boot1) + 8));

  EXPECT_FALSE(memory.Free(Space::Pei, boot1)); // another space's block stays
  EXPECT_TRUE(memory.Owns(Space::Boot, boot1));
  EXPECT_TRUE(memory.Free(Space::Boot, boot1));
  EXPECT_FALSE(memory.Free(Space::Boot, boot1)); // double free
  EXPECT_FALSE(memory.Owns(Space::Boot, boot1));
  EXPECT_TRUE(memory.Owns(Space::Boot, boot2));
  EXPECT_TRUE(memory.Free(Space::Smram, smram));
  EXPECT_TRUE(memory.Owns(Space::Pei, pei));
  EXPECT_TRUE(memory.Owns(Space::Platform, platform));

  int local = 0;
  EXPECT_FALSE(memory.Free(Space::Boot, &local)); // foreign memory
  EXPECT_TRUE(memory.TakeOverruns().empty());
}

// A write just before or just past a block is reported once, in address order over all spaces,
// and the block's guards are good again afterwards; a block freed with a damaged guard is
// reported at the next look, before the live ones.
TEST(Memory, GuardWritesAreReportedOnce) {
  Memory memory(kSmram);
  auto *smram = static_cast<uint8_t *>(memory.Allocate(Space::Smram, 32));
  auto *boot = static_cast<uint8_t *>(memory.Allocate(Space::Boot, 5));
  auto *platform = static_cast<uint8_t *>(memory.Allocate(Space::Platform, 16));
  auto *pei = static_cast<uint8_t *>(memory.Allocate(Space::Pei, 40));
  auto *untouched = static_cast<uint8_t *>(memory.Allocate(Space::Boot, 7));
  ASSERT_NE(untouched, nullptr);

  StrayWrite(smram + 32 + 15, 0); // the last guard byte behind the block
  StrayWrite(boot + 5, 0);        // the first one
  StrayWrite(platform - 1, 0);    // the guard in front
  std::vector<Memory::Overrun> overruns = memory.TakeOverruns();
  ASSERT_EQ(overruns.size(), 3u);
  EXPECT_EQ(overruns[0].space, Space::Platform);
  EXPECT_EQ(overruns[0].address, Address(platform));
  EXPECT_EQ(overruns[0].size, 16u);
  EXPECT_EQ(overruns[1].space, Space::Boot);
  EXPECT_EQ(overruns[1].address, Address(boot));
  EXPECT_EQ(overruns[1].size, 5u);
  EXPECT_EQ(overruns[2].space, Space::Smram);
  EXPECT_EQ(overruns[2].address, Address(smram));
  EXPECT_TRUE(memory.TakeOverruns().empty());

  StrayWrite(pei + 40, 0x12);
  StrayWrite(boot + 6, 0x34);
  EXPECT_TRUE(memory.Free(Space::Boot, boot));
  overruns = memory.TakeOverruns();
  ASSERT_EQ(overruns.size(), 2u);
  EXPECT_EQ(overruns[0].address, Address(boot));
  EXPECT_EQ(overruns[1].space, Space::Pei);
  EXPECT_EQ(overruns[1].address, Address(pei));
  EXPECT_TRUE(memory.TakeOverruns().empty());
}

} // namespace
} // namespace boardsim
