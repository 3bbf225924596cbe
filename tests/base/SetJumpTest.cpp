// SetJump/LongJump of the host build: resuming from deep frames with the value given.
#include <gtest/gtest.h>

#include <Library/SetJump.h>

namespace {

BASE_LIBRARY_JUMP_BUFFER gContext;
int gDepthReached;

// Each frame holds a buffer, so a sanitizer build poisons stack that the jump abandons.
[[noreturn]] void Leave(int Depth, UINTN Value) {
  volatile char Scratch[64];
  Scratch[Depth] = char(Depth);
  gDepthReached = Scratch[Depth];
  if (Depth == 3) {
    LongJump(&gContext, Value);
  }
  Leave(Depth + 1, Value);
}

// Runs Leave from inside a SetJump and reports what SetJump returned the second time.
UINTN ResumeValue(UINTN Value) {
  volatile int Passes = 0;
  UINTN Result = SetJump(&gContext);
  Passes = Passes + 1;
  if (Result == 0) {
    Leave(1, Value);
  }
  EXPECT_EQ(Passes, 2) << "SetJump did not return exactly twice";
  return Result;
}

TEST(SetJump, LongJumpResumesAtSetJumpWithItsValue) {
  EXPECT_EQ(ResumeValue(1), 1u);
  EXPECT_EQ(gDepthReached, 3);
  EXPECT_EQ(ResumeValue(0x8000000000000001ull), 0x8000000000000001ull);
}

// Uses more stack than the abandoned frames did, over the area they occupied.
int UseStack() {
  volatile char Area[1024];
  for (int Index = 0; Index < 1024; Index++) {
    Area[Index] = char(Index);
  }
  return Area[1023];
}

TEST(SetJump, ContextCanBeSavedAgainAfterAJump) {
  volatile int Jumps = 0;
  for (UINTN Round = 1; Round <= 3; Round++) {
    if (SetJump(&gContext) == 0) {
      Leave(1, Round);
    }
    Jumps = Jumps + 1;
    EXPECT_EQ(UseStack(), char(1023));
  }
  EXPECT_EQ(Jumps, 3);
}

} // namespace
