// Where the simulated board's memory lies in the host process. Every run places its pools and
// SMRAM at these addresses, so the addresses a module is handed (and the trace reports) are the
// same on every run; board files may not put device windows over them.
#pragma once
#include <cstdint>

namespace boardsim {

inline constexpr uint64_t kMiB = 1024 * 1024;

// General pools, one after the other: platform buffers, PEI pool, boot-services pool.
inline constexpr uint64_t kPlatformPoolBase = 0x10000000;
inline constexpr uint64_t kPlatformPoolSize = 4 * kMiB;
inline constexpr uint64_t kPeiPoolBase = kPlatformPoolBase + kPlatformPoolSize;
inline constexpr uint64_t kPeiPoolSize = 2 * kMiB;
inline constexpr uint64_t kBootPoolBase = kPeiPoolBase + kPeiPoolSize;
inline constexpr uint64_t kBootPoolSize = 10 * kMiB;
inline constexpr uint64_t kGeneralMemoryBase = kPlatformPoolBase;
inline constexpr uint64_t kGeneralMemoryEnd = kBootPoolBase + kBootPoolSize;

// The HOB list is built in the platform pool; the board's [[heap]] records must fit this.
inline constexpr uint64_t kHobListMaxSize = 2 * kMiB;

// SMRAM: one range from here, as large as the board's smram_size (at most kSmramMaxSize), and
// any further ranges the board describes, all inside the SMRAM window, which ends below 2 GiB,
// clear of AddressSanitizer's shadow memory.
inline constexpr uint64_t kSmramBase = 0x20000000;
inline constexpr uint64_t kSmramMinSize = 0x1000;
inline constexpr uint64_t kSmramMaxSize = 0x40000000;
inline constexpr uint64_t kSmramWindowEnd = 0x7FFF0000;
inline constexpr uint64_t kSmramRangeAlign = 0x1000;

// The PCI configuration (ECAM) window; devices' memory lies in the hole below it.
inline constexpr uint64_t kEcamWindowBase = 0xF0000000;
inline constexpr uint64_t kEcamWindowEnd = uint64_t{1} << 32;

// A stand-in the trace uses for host-engine module memory outside the board (never mapped there):
// the process stack the host images run on, as if it ended at kHostStackStandInTop.
inline constexpr uint64_t kHostStackStandInTop = 0x01000000;
inline constexpr uint64_t kHostStackStandInSize = 8 * kMiB;

static_assert(kGeneralMemoryEnd <= kSmramBase);
static_assert(kSmramBase + kSmramMaxSize <= kSmramWindowEnd);
static_assert(kSmramWindowEnd <= 0x7FFF8000, "SMRAM must end below ASan's shadow");

} // namespace boardsim
