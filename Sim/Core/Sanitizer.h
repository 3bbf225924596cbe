// AddressSanitizer's manual poisoning, where the build has it: memory the simulator hands out in
// pieces (pools, kept image areas) is marked so that a stray access from host code is reported.
#pragma once
#include <cstddef>

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

inline void Poison(const void *p, size_t n) {
#if defined(BOARDSIM_ASAN)
  ASAN_POISON_MEMORY_REGION(p, n);
#else
  (void)p, (void)n;
#endif
}

inline void Unpoison(const void *p, size_t n) {
#if defined(BOARDSIM_ASAN)
  ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
  (void)p, (void)n;
#endif
}

} // namespace boardsim
