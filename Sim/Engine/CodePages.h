// The pages of one processor's memory that hold translated code. Unicorn 2.0 keeps no dirty bits
// of memory, so it treats every page of RAM as one that may hold translated code: every store of
// image code leaves the translated fast path for a helper that looks for code to discard (stacks,
// pools and module globals alike). The engine gives Unicorn back what QEMU's dirty bits give it:
// the library tells it when a page gets its first translated block or loses its last one
// (CodePages.cpp), and a page's TLB entry sends stores to the slow path only while the page
// holds code. Stores into translated code are still seen and the code is translated again.
#pragma once
#include <unicorn/unicorn.h>

#include <cstdint>
#include <map>
#include <unordered_set>

namespace boardsim {

class CodePages {
public:
  explicit CodePages(uc_engine *uc);
  ~CodePages();
  CodePages(const CodePages &) = delete;
  CodePages &operator=(const CodePages &) = delete;

  // Guest memory [begin, end) that is this process's memory at the same address (board memory):
  // only there does the engine know which host page a guest page is.
  void AddSameAddress(uint64_t begin, uint64_t end);
  void RemoveSameAddress(uint64_t begin, uint64_t end);
  // Whether [address, address + size) lies in one such range.
  bool SameAddress(uint64_t address, uint64_t size) const;

  // While one lives, this processor is the one executing on this thread.
  class Running {
  public:
    explicit Running(CodePages &pages);
    ~Running();
    Running(const Running &) = delete;
    Running &operator=(const Running &) = delete;

  private:
    CodePages *previous_;
  };

  // Whether Unicorn reaches the engine's functions, so that stores outside code take the
  // translated fast path.
  static bool Tracked();

  // Unicorn's side (CodePages.cpp): a TLB entry was filled for a guest page, a page got its
  // first translated block, a page lost its last one.
  void Filled(void *cpu, uint64_t vaddr, uint64_t paddr, int prot);
  void CodeArrived(uint64_t hostPage);
  void CodeLeft(uint64_t hostPage);
  static CodePages *Find(const void *uc);

private:
  uc_engine *uc_;
  void *cpu_ = nullptr; // Unicorn's processor state, learnt from the first TLB fill
  std::map<uint64_t, uint64_t> sameAddress_; // begin -> end
  std::unordered_set<uint64_t> code_;
  CodePages *next_ = nullptr; // the thread's processors
};

} // namespace boardsim
