// An image's stack is filled before it runs; the bytes it used are those from the lowest byte
// that no longer holds the fill up to the top, wherever in a page that byte lies.
#include "Core/Images.h"
#include "Engine/ImageEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace boardsim::testing {
namespace {

constexpr uint64_t kStackPage = 4096;
constexpr uint64_t kStackSize = 4 * kStackPage;
constexpr uint8_t kFill = 0x5A; // what ImageEngine::Load fills a stack with

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};

// A page-aligned stack, all fill.
class Stack : public ::testing::Test {
protected:
  Stack() : stack_(static_cast<uint8_t *>(std::aligned_alloc(kStackPage, kStackSize))) {
    std::memset(stack_.get(), kFill, kStackSize);
  }
  uint8_t &At(uint64_t offset) { return stack_.get()[offset]; }
  uint64_t Used() const {
    const auto lo = reinterpret_cast<uint64_t>(stack_.get());
    return ImageEngine::StackUsed(GuestPlacement{nullptr, lo + kStackSize, 0, lo, lo + kStackSize});
  }

private:
  std::unique_ptr<uint8_t, FreeDeleter> stack_;
};

TEST_F(Stack, NothingIsUsedWhileAllIsFill) {
  EXPECT_EQ(Used(), 0u);
}

class StackWrittenAt : public Stack, public ::testing::WithParamInterface<uint64_t> {};

// The lowest changed byte decides, however much fill lies above it.
TEST_P(StackWrittenAt, UsedCountsFromTheLowestChangedByte) {
  const uint64_t lowest = GetParam();
  At(lowest) = 0;
  EXPECT_EQ(Used(), kStackSize - lowest);
  At(kStackSize - 1) = 0; // the top, written as well
  EXPECT_EQ(Used(), kStackSize - lowest);
}

// A byte that holds the fill value again does not count as changed.
TEST_P(StackWrittenAt, AByteWrittenWithTheFillValueLooksUntouched) {
  const uint64_t lowest = GetParam();
  At(lowest) = kFill;
  if (lowest + 1 < kStackSize)
    At(lowest + 1) = 0x11;
  EXPECT_EQ(Used(), lowest + 1 < kStackSize ? kStackSize - lowest - 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Offsets, StackWrittenAt,
                         ::testing::Values(0, 1, 7, 8, kStackPage - 1, kStackPage, kStackPage + 1,
                                           2 * kStackPage + 9, kStackSize - 8, kStackSize - 1));

} // namespace
} // namespace boardsim::testing
