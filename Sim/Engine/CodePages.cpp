#include "Engine/CodePages.h"

#include <dlfcn.h>

namespace boardsim {
namespace {

constexpr uint64_t kPageMask = ~uint64_t{0xFFF};
constexpr uint64_t kPageSize = 0x1000;
constexpr int kPageWrite = 0x2; // QEMU's PAGE_WRITE in a TLB fill's protection

// Functions of Unicorn's x86 target (both processors use it) that the engine calls itself.
struct TargetFunctions {
  void (*setDirty)(void *cpu, uint64_t vaddr);                        // TLB_NOTDIRTY off
  void (*resetDirty)(void *cpu, uint64_t hostStart, uint64_t length); // TLB_NOTDIRTY on
  void *(*ramPointer)(void *uc, void *block, uint64_t ramAddr);       // host address
};

const TargetFunctions *Unicorn20();

thread_local CodePages *tThreadPages = nullptr; // every processor of the thread
thread_local CodePages *tRunning = nullptr;

} // namespace

CodePages::CodePages(uc_engine *uc) : uc_(uc), next_(tThreadPages) {
  tThreadPages = this;
}

CodePages::~CodePages() {
  for (CodePages **link = &tThreadPages; *link; link = &(*link)->next_)
    if (*link == this) {
      *link = next_;
      break;
    }
}

CodePages *CodePages::Find(const void *uc) {
  for (CodePages *pages = tThreadPages; pages; pages = pages->next_)
    if (pages->uc_ == uc)
      return pages;
  return nullptr;
}

void CodePages::AddSameAddress(uint64_t begin, uint64_t end) {
  sameAddress_[begin] = end;
}

// Pages with code stay known as such: only the library says when a page loses its code.
void CodePages::RemoveSameAddress(uint64_t begin, uint64_t end) {
  auto it = sameAddress_.find(begin);
  if (it != sameAddress_.end() && it->second == end)
    sameAddress_.erase(it);
}

bool CodePages::SameAddress(uint64_t address, uint64_t size) const {
  auto it = sameAddress_.upper_bound(address);
  if (it == sameAddress_.begin())
    return false;
  const uint64_t end = std::prev(it)->second;
  return address < end && size <= end - address;
}

CodePages::Running::Running(CodePages &pages) : previous_(tRunning) {
  tRunning = &pages;
}

CodePages::Running::~Running() {
  tRunning = previous_;
}

// A page without translated code needs no check of its stores: its entry loses TLB_NOTDIRTY.
void CodePages::Filled(void *cpu, uint64_t vaddr, uint64_t paddr, int prot) {
  if (!cpu_)
    cpu_ = cpu;
  const uint64_t page = paddr & kPageMask;
  if (cpu != cpu_ || !(prot & kPageWrite) || !SameAddress(page, kPageSize) || code_.count(page))
    return;
  Unicorn20()->setDirty(cpu, vaddr);
}

// Entries filled before the code came send stores to the slow path again (those of a page
// already known kept TLB_NOTDIRTY).
void CodePages::CodeArrived(uint64_t hostPage) {
  if (code_.insert(hostPage).second && cpu_)
    Unicorn20()->resetDirty(cpu_, hostPage, kPageSize);
}

// The page's entries keep TLB_NOTDIRTY until they are filled again, unless the engine knows
// the guest page (the same address).
void CodePages::CodeLeft(uint64_t hostPage) {
  if (!code_.erase(hostPage) || !cpu_ || !SameAddress(hostPage, kPageSize))
    return;
  Unicorn20()->setDirty(cpu_, hostPage);
}

} // namespace boardsim

// The library's calls, through its procedure linkage table, reach these definitions in the
// executable; each passes the call on to the library's own function, then tells the processor's
// CodePages. Their parameters are those of Unicorn 2.0's x86 target (QEMU 5.0).
extern "C" {

__attribute__((visibility("default"), used)) void
tlb_set_page_with_attrs_x86_64(void *cpu, uint64_t vaddr, uint64_t paddr, uint32_t attrs, int prot,
                               int mmuIndex, uint64_t size);
__attribute__((visibility("default"), used)) void tlb_protect_code_x86_64(void *uc,
                                                                          uint64_t ramAddr);
__attribute__((visibility("default"), used)) void tlb_unprotect_code_x86_64(void *uc,
                                                                            uint64_t ramAddr);

} // extern "C"

namespace boardsim {
namespace {

template <typename Function> Function LibraryFunction(const char *name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Only Unicorn 2.0 is known to have these functions with these parameters, and to need them.
const TargetFunctions *Unicorn20() {
  static const TargetFunctions *const functions = []() -> const TargetFunctions * {
    unsigned major = 0, minor = 0;
    uc_version(&major, &minor);
    if (major != 2 || minor != 0)
      return nullptr;
    static TargetFunctions found;
    found.setDirty =
        reinterpret_cast<decltype(found.setDirty)>(dlsym(RTLD_DEFAULT, "tlb_set_dirty_x86_64"));
    found.resetDirty =
        reinterpret_cast<decltype(found.resetDirty)>(dlsym(RTLD_DEFAULT, "tlb_reset_dirty_x86_64"));
    found.ramPointer = reinterpret_cast<decltype(found.ramPointer)>(
        dlsym(RTLD_DEFAULT, "qemu_map_ram_ptr_x86_64"));
    const bool reached = dlsym(RTLD_DEFAULT, "tlb_set_page_with_attrs_x86_64") ==
                             reinterpret_cast<void *>(&tlb_set_page_with_attrs_x86_64) &&
                         dlsym(RTLD_DEFAULT, "tlb_protect_code_x86_64") ==
                             reinterpret_cast<void *>(&tlb_protect_code_x86_64) &&
                         dlsym(RTLD_DEFAULT, "tlb_unprotect_code_x86_64") ==
                             reinterpret_cast<void *>(&tlb_unprotect_code_x86_64);
    if (!reached || !found.setDirty || !found.resetDirty || !found.ramPointer)
      return nullptr;
    return &found;
  }();
  return functions;
}

// The processor's pages, when the engine keeps track of them.
CodePages *PagesOf(const void *uc) {
  return Unicorn20() ? CodePages::Find(uc) : nullptr;
}

uint64_t HostPage(void *uc, uint64_t ramAddr) {
  return reinterpret_cast<uint64_t>(Unicorn20()->ramPointer(uc, nullptr, ramAddr & kPageMask));
}

} // namespace

bool CodePages::Tracked() {
  return Unicorn20() != nullptr;
}

} // namespace boardsim

extern "C" {

void tlb_set_page_with_attrs_x86_64(void *cpu, uint64_t vaddr, uint64_t paddr, uint32_t attrs,
                                    int prot, int mmuIndex, uint64_t size) {
  using Fill = void (*)(void *, uint64_t, uint64_t, uint32_t, int, int, uint64_t);
  static const auto next = boardsim::LibraryFunction<Fill>("tlb_set_page_with_attrs_x86_64");
  next(cpu, vaddr, paddr, attrs, prot, mmuIndex, size);
  if (boardsim::tRunning && boardsim::Unicorn20())
    boardsim::tRunning->Filled(cpu, vaddr, paddr, prot);
}

void tlb_protect_code_x86_64(void *uc, uint64_t ramAddr) {
  using Protect = void (*)(void *, uint64_t);
  static const auto next = boardsim::LibraryFunction<Protect>("tlb_protect_code_x86_64");
  next(uc, ramAddr);
  if (boardsim::CodePages *pages = boardsim::PagesOf(uc))
    pages->CodeArrived(boardsim::HostPage(uc, ramAddr));
}

void tlb_unprotect_code_x86_64(void *uc, uint64_t ramAddr) {
  using Unprotect = void (*)(void *, uint64_t);
  static const auto next = boardsim::LibraryFunction<Unprotect>("tlb_unprotect_code_x86_64");
  next(uc, ramAddr);
  if (boardsim::CodePages *pages = boardsim::PagesOf(uc))
    pages->CodeLeft(boardsim::HostPage(uc, ramAddr));
}

} // extern "C"
