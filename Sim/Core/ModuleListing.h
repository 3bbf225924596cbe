// Module images that boardsim places itself are unknown to the C library's dynamic linker. They
// are listed here so that whoever asks the process for its loaded objects through dl_iterate_phdr
// finds them too: the sanitizers' symbolizer naming a frame or global of module code in a report,
// LeakSanitizer looking for roots, the unwinder.
#pragma once
#include <cstdint>
#include <link.h>

namespace boardsim {

// Lists an image placed at `base` whose program headers are at `headers`; `path` names its file
// and must live as long as the listing.
void ListModule(uint64_t base, const ElfW(Phdr) * headers, unsigned count, const char *path);
void UnlistModule(uint64_t base);

} // namespace boardsim
