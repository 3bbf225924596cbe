#include "Engine/Emulator.h"

#include "Core/Simulator.h"
#include "Devices/Cpu.h"
#include "Devices/DebugAgent.h"
#include "Devices/Machine.h"
#include "Engine/Registers.h"
#include "Engine/SystemInstructions.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <stdexcept>
#include <sys/mman.h>

extern "C" void *page_collection_lock_x86_64(void *uc, uint64_t start, uint64_t end);

namespace boardsim {

struct DeviceWindow {
  Emulator *emu;
  uint64_t base;
};

constexpr RegisterSet kRegisters64 = {UC_X86_REG_RIP, UC_X86_REG_RSP, UC_X86_REG_RAX,
                                      UC_X86_REG_RBX, UC_X86_REG_RCX, UC_X86_REG_RDX,
                                      UC_X86_REG_RSI};
constexpr RegisterSet kRegisters32 = {UC_X86_REG_EIP, UC_X86_REG_ESP, UC_X86_REG_EAX,
                                      UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                                      UC_X86_REG_ESI};

namespace {

constexpr uint64_t kPage = 4096;
constexpr uint8_t kRet = 0xC3;
// Where a call from the simulator into image code returns to, per processor: the start of a page
// with nothing mapped in the page below. Unicorn's block there (it stops the processor) is empty,
// and is taken to end in the page below; were that page mapped, the block would not be found
// again and would be translated anew at every return.
constexpr uint64_t kReturnAddress64 = 0x00007FFFFFFF0000;
constexpr uint64_t kReturnAddress32 = 0xBFFFC000;
// Device memory below 4 GiB: PCI BARs, memory-mapped UARTs and ECAM.
constexpr uint64_t kDeviceWindowBase = 0xC0000000;
constexpr uint64_t kDeviceWindowSize = 0x40000000;
// Arguments a service call may take: RCX, RDX, R8, R9 and eight more on the stack.
constexpr size_t kStackArguments = 8;

using HostService = uint64_t(__attribute__((ms_abi)) *)(uint64_t, uint64_t, uint64_t, uint64_t,
                                                        uint64_t, uint64_t, uint64_t, uint64_t,
                                                        uint64_t, uint64_t, uint64_t, uint64_t);

Machine &M() {
  return Simulator::Current().machine();
}

void Check(uc_err err, const char *what) {
  if (err != UC_ERR_OK)
    throw std::runtime_error(std::string("image engine: ") + what + ": " + uc_strerror(err));
}

void OnHostCall(uc_engine *uc, uint64_t address, uint32_t, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  emu.Guarded([&] {
    uint64_t args[4 + kStackArguments] = {Reg(uc, UC_X86_REG_RCX), Reg(uc, UC_X86_REG_RDX),
                                          Reg(uc, UC_X86_REG_R8), Reg(uc, UC_X86_REG_R9)};
    // Return address, then 32 bytes of shadow space, then the fifth argument.
    const uint64_t rsp = Reg(uc, UC_X86_REG_RSP);
    if (emu.Read(rsp + 8 + 32, args + 4, 8 * kStackArguments) != UC_ERR_OK)
      std::memset(args + 4, 0, 8 * kStackArguments);
    SetReg(uc, UC_X86_REG_RAX, CallHostService(address, args));
  });
}

uint32_t OnIn(uc_engine *, uint32_t port, int size, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  uint32_t value = ~0u;
  emu.Guarded(
      [&] { value = static_cast<uint32_t>(M().IoRead(uint16_t(port), unsigned(size) * 8)); });
  return value;
}

void OnOut(uc_engine *uc, uint32_t port, int size, uint32_t value, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  emu.Guarded([&] {
    if (port == kBreakpointPort && size == 4) {
      // The debug agent's hand-over: EAX holds the text's address, EBX its length.
      const auto ebx = static_cast<uint32_t>(Reg(uc, emu.Regs().bx));
      const auto edx = static_cast<uint32_t>(Reg(uc, emu.Regs().dx));
      M().PortHandOver(value, ebx, edx, reinterpret_cast<const void *>(uint64_t{value}));
      return;
    }
    M().IoWrite(uint16_t(port), unsigned(size) * 8, value);
  });
}

int OnCpuid(uc_engine *uc, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  const RegisterSet &r = emu.Regs();
  emu.Guarded([&] {
    const auto eax = static_cast<uint32_t>(Reg(uc, r.ax));
    if (eax == kErrorStopProbeLeaf) {
      const auto ebx = static_cast<uint32_t>(Reg(uc, r.bx));
      const uint64_t rsi = Reg(uc, r.si);
      const uint16_t si = M().CpuidReturnSi(eax, ebx, static_cast<uint16_t>(rsi));
      SetReg(uc, r.si, (rsi & ~uint64_t{0xFFFF}) | si);
      return;
    }
    uint32_t out[4];
    M().Cpuid(eax, out);
    const int kOut[4] = {r.ax, r.bx, r.cx, r.dx};
    for (int i = 0; i < 4; ++i)
      SetReg(uc, kOut[i], out[i]);
  });
  return 1; // the instruction is done
}

// An instruction the machine model carries out (see SystemInstructions.h); execution goes on
// after it.
void OnSpecial(uc_engine *uc, uint64_t address, uint32_t, void *user) {
  const auto &instruction = *static_cast<const SpecialInstruction *>(user);
  Emulator::Get().Guarded([&] {
    ExecuteSpecial(uc, M(), instruction);
    SetReg(uc, UC_X86_REG_RIP, address + instruction.length);
  });
}

// A window of device memory; accesses go to the machine model. Windows outside the device hole
// are mapped when first touched and stay mapped: an access there that no device claims in the
// current run is an access to unmapped memory.

bool Unclaimed(uc_engine *uc, Emulator &emu, uc_mem_type type, uint64_t address) {
  if (M().IsDeviceMemory(address))
    return false;
  emu.stop = {GuestStop::Kind::Unmapped, type, address, 0, emu.Ip()};
  uc_emu_stop(uc);
  return true;
}

uint64_t OnMmioRead(uc_engine *uc, uint64_t offset, unsigned size, void *user) {
  auto &window = *static_cast<DeviceWindow *>(user);
  uint64_t value = ~uint64_t{0};
  window.emu->Guarded([&] {
    if (!Unclaimed(uc, *window.emu, UC_MEM_READ_UNMAPPED, window.base + offset))
      value = M().MmioRead(window.base + offset, size * 8);
  });
  return value;
}

void OnMmioWrite(uc_engine *uc, uint64_t offset, unsigned size, uint64_t value, void *user) {
  auto &window = *static_cast<DeviceWindow *>(user);
  window.emu->Guarded([&] {
    if (!Unclaimed(uc, *window.emu, UC_MEM_WRITE_UNMAPPED, window.base + offset))
      M().MmioWrite(window.base + offset, size * 8, value);
  });
}

bool OnUnmapped(uc_engine *, uc_mem_type type, uint64_t address, int, int64_t, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  if (type != UC_MEM_FETCH_UNMAPPED && M().IsDeviceMemory(address)) {
    emu.MapDeviceWindow(address & ~(kPage - 1), kPage);
    return true; // the access is made again, now through the window
  }
  emu.stop = {GuestStop::Kind::Unmapped, type, address, 0, emu.Ip()};
  return false;
}

// A write into memory mapped for reading only: an image that executes in place from flash.
bool OnWriteProtected(uc_engine *, uc_mem_type type, uint64_t address, int, int64_t, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  emu.stop = {GuestStop::Kind::ReadOnly, type, address, 0, emu.Ip()};
  return false;
}

// A call of 32-bit image code into the simulator: the thunk carries it out, the RET at this
// address returns to the caller, which pops its arguments (cdecl).
void OnThunk(uc_engine *, uint64_t address, uint32_t, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  emu.Guarded([&] { emu.thunks(static_cast<uint32_t>(address - Emulator::kThunkBase)); });
}

void OnBlock(uc_engine *uc, uint64_t, uint32_t, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  if (++emu.blocks > Emulator::kStepBudget) {
    emu.stop = {GuestStop::Kind::StepBudget, UC_MEM_READ, 0, 0, emu.Ip()};
    uc_emu_stop(uc);
  }
}

void OnInterrupt(uc_engine *uc, uint32_t number, void *user) {
  auto &emu = *static_cast<Emulator *>(user);
  emu.stop = {GuestStop::Kind::Interrupt, UC_MEM_READ, 0, number, emu.Ip()};
  uc_emu_stop(uc);
}

int FindOwnText(dl_phdr_info *info, size_t, void *data) {
  auto *pages = static_cast<std::vector<std::pair<uint64_t, uint64_t>> *>(data);
  const auto probe = reinterpret_cast<uint64_t>(&FindOwnText);
  std::vector<std::pair<uint64_t, uint64_t>> text;
  bool mine = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X))
      continue;
    const uint64_t begin = info->dlpi_addr + ph.p_vaddr, end = begin + ph.p_memsz;
    text.emplace_back(begin & ~(kPage - 1), (end + kPage - 1) & ~(kPage - 1));
    mine |= probe >= begin && probe < end;
  }
  if (!mine)
    return 0;
  *pages = text;
  return 1;
}

// Unicorn 2's page locks do nothing, so a page collection guards nothing and its callers accept
// none (see the functions at the end of this file); another major version keeps its own.
bool SkipsPageCollection() {
  static const bool skips = [] {
    unsigned major = 0, minor = 0;
    uc_version(&major, &minor);
    return major == 2;
  }();
  return skips;
}

} // namespace

// A call from image code into one of the simulator's EFIAPI functions (a service table member
// or a platform protocol member). The callee's own parameter list is not known here: passing
// every argument slot is what the Microsoft x64 convention allows (the caller owns the stack), so
// the type check of the sanitizer does not apply.
__attribute__((no_sanitize("function"))) uint64_t CallHostService(uint64_t address,
                                                                  const uint64_t (&a)[12]) {
  auto service = reinterpret_cast<HostService>(address);
  return service(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]);
}

Emulator &Emulator::Get(unsigned bits) {
  if (bits == 32) {
    thread_local std::unique_ptr<Emulator> ia32(new Emulator(32));
    return *ia32;
  }
  thread_local std::unique_ptr<Emulator> x64(new Emulator(64));
  return *x64;
}

// Unicorn's 32-bit mode starts in protected mode with flat 4 GiB segments, as a PEI core runs.
Emulator::Emulator(unsigned bits)
    : bits_(bits), returnAddress_(bits == 64 ? kReturnAddress64 : kReturnAddress32),
      regs_(bits == 64 ? &kRegisters64 : &kRegisters32) {
  Check(uc_open(UC_ARCH_X86, bits == 64 ? UC_MODE_64 : UC_MODE_32, &uc_),
        "cannot open the emulator");
  code_ = std::make_unique<CodePages>(uc_);
  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void *>(OnIn), this, 1, 0,
                    UC_X86_INS_IN),
        "IN hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void *>(OnOut), this, 1, 0,
                    UC_X86_INS_OUT),
        "OUT hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void *>(OnCpuid), this, 1, 0,
                    UC_X86_INS_CPUID),
        "CPUID hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_UNMAPPED, reinterpret_cast<void *>(OnUnmapped), this, 1,
                    0),
        "unmapped-access hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_WRITE_PROT, reinterpret_cast<void *>(OnWriteProtected),
                    this, 1, 0),
        "read-only memory hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void *>(OnBlock), this, 1, 0),
        "block hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void *>(OnInterrupt), this, 1, 0),
        "interrupt hook");
  MapDeviceWindow(kDeviceWindowBase, kDeviceWindowSize);
  Check(uc_mem_map(uc_, returnAddress_, kPage, UC_PROT_READ | UC_PROT_EXEC), "return page");
  if (bits == 64)
    MapHostText();
  else
    MapThunkPage();
}

uint64_t Emulator::Ip() const {
  return Reg(uc_, regs_->ip);
}
uint64_t Emulator::Sp() const {
  return Reg(uc_, regs_->sp);
}

uc_err Emulator::Read(uint64_t address, void *bytes, size_t size) const {
  if (!code_->SameAddress(address, size))
    return uc_mem_read(uc_, address, bytes, size);
  std::memcpy(bytes, reinterpret_cast<const void *>(address), size);
  return UC_ERR_OK;
}

uc_err Emulator::Start(uint64_t begin) {
  CodePages::Running running(*code_);
  return uc_emu_start(uc_, begin, returnAddress_, 0, 0);
}

void Emulator::MapThunkPage() {
  static_assert(kThunkCount <= kPage && kReturnAddress32 + 2 * kPage <= kThunkBase);
  Check(uc_mem_map(uc_, kThunkBase, kPage, UC_PROT_READ | UC_PROT_EXEC), "thunk page");
  const std::vector<uint8_t> rets(kPage, kRet);
  Check(uc_mem_write(uc_, kThunkBase, rets.data(), kPage), "thunk page");
  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(OnThunk), this, kThunkBase,
                    kThunkBase + kThunkCount - 1),
        "thunk hook");
}

Emulator::~Emulator() {
  code_.reset(); // what the library does while it closes concerns no page of the engine
  uc_close(uc_);
  for (auto [pages, size] : hostTextPages_)
    munmap(pages, size);
}

void Emulator::MapDeviceWindow(uint64_t base, uint64_t size) {
  auto &window = deviceWindows_[base];
  window = std::make_unique<DeviceWindow>(DeviceWindow{this, base});
  Check(uc_mmio_map(uc_, base, size, OnMmioRead, window.get(), OnMmioWrite, window.get()),
        "device window");
}

void Emulator::MapHostText() {
  std::vector<std::pair<uint64_t, uint64_t>> text;
  dl_iterate_phdr(FindOwnText, &text);
  for (auto [begin, end] : text) {
    if (begin < (uint64_t{1} << 32))
      throw std::runtime_error("image engine: boardsim must be a position-independent "
                               "executable (its code lies below 4 GiB, where board memory is)");
    const size_t size = end - begin;
    void *pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
      throw std::runtime_error("image engine: out of memory");
    std::memset(pages, kRet, size);
    hostTextPages_.emplace_back(pages, size);
    Check(uc_mem_map_ptr(uc_, begin, size, UC_PROT_READ | UC_PROT_EXEC, pages), "service page");
    uc_hook hook;
    Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(OnHostCall), this, begin,
                      end - 1),
          "service hook");
  }
}

void Emulator::MapRegion(uint64_t begin, uint64_t size, const Ranges &holes,
                         const Ranges &readOnly) {
  // A board with another SMRAM size reuses the start with another size: map it anew.
  if (auto it = regions_.find(begin); it != regions_.end()) {
    if (it->second.size == size)
      return;
    for (auto [at, length] : it->second.pieces) {
      Check(uc_mem_unmap(uc_, at, length), "board memory");
      code_->RemoveSameAddress(at, at + length);
    }
    uc_ctl_remove_cache(uc_, begin, begin + it->second.size);
    regions_.erase(it);
  }
  MappedRegion &region = regions_[begin];
  region.size = size;
  std::vector<std::pair<std::pair<uint64_t, uint64_t>, uint32_t>> gaps;
  for (auto range : holes)
    gaps.push_back({range, 0});
  for (auto range : readOnly)
    gaps.push_back({range, UC_PROT_READ | UC_PROT_EXEC});
  std::sort(gaps.begin(), gaps.end());
  uint64_t cursor = begin;
  auto map = [&](uint64_t to, uint32_t prot) {
    if (to <= cursor)
      return;
    Check(uc_mem_map_ptr(uc_, cursor, to - cursor, prot, reinterpret_cast<void *>(cursor)),
          "board memory");
    code_->AddSameAddress(cursor, to);
    region.pieces.emplace_back(cursor, to - cursor);
  };
  for (auto [range, prot] : gaps) {
    map(range.first, UC_PROT_ALL);
    cursor = range.first;
    if (prot)
      map(range.second, prot);
    cursor = range.second;
  }
  map(begin + size, UC_PROT_ALL);
}

void Emulator::PlaceCode(uint64_t base, uint64_t size, const GuestModule *module) {
  Placement &place = placements_[base];
  if (place.module == module && place.size == size)
    return;
  if (place.size)
    uc_ctl_remove_cache(uc_, base, base + place.size);
  uc_ctl_remove_cache(uc_, base, base + size);
  for (uc_hook hook : place.hooks)
    uc_hook_del(uc_, hook);
  place = {module, size, {}};
  if (!module)
    return;
  for (const SpecialInstruction &ins : module->Specials()) {
    uc_hook hook;
    const uint64_t at = base + ins.rva;
    Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void *>(OnSpecial),
                      const_cast<SpecialInstruction *>(&ins), at, at),
          "instruction hook");
    place.hooks.push_back(hook);
  }
}

bool Emulator::SkipsPageCollections() {
  return SkipsPageCollection() && dlsym(RTLD_DEFAULT, "page_collection_lock_x86_64") ==
                                      reinterpret_cast<void *>(&page_collection_lock_x86_64);
}

} // namespace boardsim

// Every store of image code into board memory costs Unicorn 2.0.1 a "page collection": a tree of
// the written page and of the translated blocks on it, allocated and freed again, for page locks
// that Unicorn's single-threaded processors never take (a third of the engine's time). These are
// the library's own functions (x86 target) as later Unicorn releases define them, collecting
// nothing; the library calls them through its procedure linkage table, so it reaches these.
extern "C" {

__attribute__((visibility("default"), used)) void *
page_collection_lock_x86_64(void *uc, uint64_t start, uint64_t end) {
  if (boardsim::SkipsPageCollection())
    return nullptr;
  using Lock = void *(*)(void *, uint64_t, uint64_t);
  static const auto next = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "page_collection_lock_x86_64"));
  return next(uc, start, end);
}

__attribute__((visibility("default"), used)) void page_collection_unlock_x86_64(void *set) {
  if (boardsim::SkipsPageCollection())
    return;
  using Unlock = void (*)(void *);
  static const auto next =
      reinterpret_cast<Unlock>(dlsym(RTLD_NEXT, "page_collection_unlock_x86_64"));
  next(set);
}

} // extern "C"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// Unicorn 2.0.1 keeps a code bitmap of each page whose translated code image code writes to
// and does not free it when the processor is closed: not ours to fix, not a leak of boardsim.
extern "C" const char *__lsan_default_suppressions() {
  return "leak:tb_invalidate_phys_page_fast\n";
}
#endif
#endif
