// A processor fault inside a trapped call returns to that call, however deeply calls nest; one
// outside every trapped call still ends the process as it would have without the trap.
#include "Core/HostFaultTrap.h"

#include <gtest/gtest.h>

#include <csignal>

namespace boardsim {
namespace {

// Memory the process never maps: the first page.
volatile uint32_t *const kUnmapped = reinterpret_cast<volatile uint32_t *>(uintptr_t{0x40});

void WriteUnmapped(void *) {
  *kUnmapped = 1;
}

void ReadUnmapped(void *) {
  (void)*kUnmapped;
}

TEST(HostFaultTrap, AFaultReturnsToTheInnermostTrappedCall) {
  struct Outer {
    bool innerReturned = false;
    HostFault inner;
    bool finished = false;
  } outer;
  HostFault fault;
  const bool completed = RunTrapped(
      [](void *context) {
        auto &state = *static_cast<Outer *>(context);
        state.innerReturned = RunTrapped(WriteUnmapped, nullptr, state.inner);
        state.finished = true;
      },
      &outer, fault);
  EXPECT_TRUE(completed);
  EXPECT_TRUE(outer.finished);
  EXPECT_FALSE(outer.innerReturned);
  EXPECT_EQ(outer.inner.signal, SIGSEGV);
  EXPECT_EQ(outer.inner.address, 0x40u);
  EXPECT_TRUE(outer.inner.write);

  // The signal stays deliverable for the next fault, which is a read.
  ASSERT_FALSE(RunTrapped(ReadUnmapped, nullptr, fault));
  EXPECT_FALSE(fault.write);
  EXPECT_EQ(fault.address, 0x40u);
}

TEST(HostFaultTrapDeathTest, AFaultOutsideATrappedCallIsNotSwallowed) {
  HostFault fault;
  ASSERT_FALSE(RunTrapped(WriteUnmapped, nullptr, fault)); // the handler is installed
  EXPECT_DEATH(WriteUnmapped(nullptr), "");
}

} // namespace
} // namespace boardsim
