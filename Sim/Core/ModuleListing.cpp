#include "Core/ModuleListing.h"

#include <algorithm>
#include <cstddef>
#include <dlfcn.h>

namespace boardsim {
namespace {

struct Listed {
  uint64_t base;
  const ElfW(Phdr) * headers;
  unsigned count; // 0: a free entry
  const char *path;
};
// A fixed table, never destroyed: LeakSanitizer reads it at exit, after static destructors, from
// a thread that must not allocate.
constexpr size_t kMaxListed = 16;
Listed gListed[kMaxListed];
// Changes to the listing, added to every object's dlpi_adds: the unwinder keeps what it found
// through dl_iterate_phdr only while no object was added or removed.
unsigned long long gChanges;

using Iterate = int (*)(int (*)(dl_phdr_info *, size_t, void *), void *);
Iterate gLibraryIterate;

// The C library's own; also looked up first thing in the process, because a call from a thread
// that must not allocate (LeakSanitizer's) cannot look it up itself.
Iterate LibraryIterate() {
  if (!gLibraryIterate)
    gLibraryIterate =
        reinterpret_cast<Iterate>(dlvsym(RTLD_NEXT, "dl_iterate_phdr", "GLIBC_2.2.5"));
  return gLibraryIterate;
}
[[maybe_unused]] const Iterate gLookedUpEarly = LibraryIterate();

struct Forward {
  int (*callback)(dl_phdr_info *, size_t, void *);
  void *data;
};

__attribute__((no_sanitize("address", "undefined"))) int
CountListingChanges(dl_phdr_info *info, size_t size, void *data) {
  const auto *forward = static_cast<Forward *>(data);
  dl_phdr_info copy{};
  const size_t copied = std::min(size, sizeof copy);
  __builtin_memcpy(&copy, info, copied);
  copy.dlpi_adds += gChanges;
  return forward->callback(&copy, copied, forward->data);
}

} // namespace

void ListModule(uint64_t base, const ElfW(Phdr) * headers, unsigned count, const char *path) {
  LibraryIterate();
  for (Listed &entry : gListed)
    if (entry.count == 0) {
      entry = {base, headers, count, path};
      ++gChanges;
      return;
    }
}

void UnlistModule(uint64_t base) {
  for (Listed &entry : gListed)
    if (entry.count != 0 && entry.base == base) {
      entry.count = 0;
      ++gChanges;
    }
}

} // namespace boardsim

// Takes the place of the C library's dl_iterate_phdr (and of the sanitizer runtime's interceptor,
// a weak alias): the objects the dynamic linker knows, then the listed module images.
extern "C" __attribute__((no_sanitize("address", "undefined"))) int
dl_iterate_phdr(int (*callback)(dl_phdr_info *, size_t, void *), void *data) {
  using namespace boardsim;
  Forward forward{callback, data};
  if (const int stop = LibraryIterate()(CountListingChanges, &forward))
    return stop;
  for (const Listed &entry : gListed) {
    if (entry.count == 0)
      continue;
    dl_phdr_info info{};
    info.dlpi_addr = entry.base;
    info.dlpi_name = entry.path;
    info.dlpi_phdr = entry.headers;
    info.dlpi_phnum = static_cast<ElfW(Half)>(entry.count);
    info.dlpi_adds = gChanges;
    if (const int stop = callback(&info, sizeof info, data))
      return stop;
  }
  return 0;
}
