// Stores of image code take Unicorn's fast path except on pages that hold translated code
// (CodePages): a store into translated code must still make the processor run the new code,
// wherever the code lies and whenever it got there. The simulator reads board memory the
// processor sees without asking Unicorn.
#include "Board/BoardParser.h"
#include "Core/ImageAreas.h"
#include "Core/Simulator.h"
#include "Engine/CodePages.h"
#include "Engine/Emulator.h"
#include "Engine/Registers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace boardsim::testing {
namespace {

constexpr uint64_t kPage = 4096;
constexpr uint8_t kReturnOne[] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3}; // mov eax, 1; ret
constexpr uint64_t kImmediate = 1;                                     // of the MOV above
constexpr uint8_t kStoreEcxAtRdx[] = {0x89, 0x0A, 0xC3};               // mov [rdx], ecx; ret

Board DefaultBoard() {
  LoadResult loaded = ParseBoardText("", "code-pages.toml");
  EXPECT_TRUE(loaded.board);
  return *loaded.board;
}

SimOptions ImageEngineOptions() {
  SimOptions options;
  options.engine = Engine::Image;
  return options;
}

// x64 code run on the thread's processor, in pages of board memory that the image engine maps.
class StoresIntoCode : public ::testing::Test {
protected:
  StoresIntoCode() : sim_(DefaultBoard(), ImageEngineOptions()) {
    auto *block = static_cast<uint8_t *>(sim_.memory().Allocate(Space::Boot, 4 * kPage));
    pages_ =
        reinterpret_cast<uint8_t *>((reinterpret_cast<uint64_t>(block) + kPage - 1) & ~(kPage - 1));
    stackTop_ = reinterpret_cast<uint64_t>(sim_.memory().Allocate(Space::Boot, kPage)) + kPage;
  }
  ~StoresIntoCode() override {
    const auto begin = reinterpret_cast<uint64_t>(pages_);
    uc_ctl_remove_cache(emu_.uc(), begin, begin + 3 * kPage);
  }

  uint8_t *Page(int index) { return pages_ + index * kPage; }

  // Empties the processor's TLB, as mapping memory does: entries are filled again on next use.
  void RefillTlb() {
    constexpr uint64_t kScratch = 0x7FFF00000000;
    ASSERT_EQ(uc_mem_map(emu_.uc(), kScratch, kPage, UC_PROT_READ), UC_ERR_OK);
    ASSERT_EQ(uc_mem_unmap(emu_.uc(), kScratch, kPage), UC_ERR_OK);
  }

  // Calls the code at `code` with RCX and RDX; returns EAX.
  uint32_t Call(const uint8_t *code, uint64_t rcx = 0, const uint8_t *rdx = nullptr) {
    const uint64_t rsp = (stackTop_ - 64) & ~uint64_t{15};
    const uint64_t returnAddress = emu_.ReturnAddress();
    std::memcpy(reinterpret_cast<void *>(rsp), &returnAddress, sizeof returnAddress);
    SetReg(emu_.uc(), UC_X86_REG_RSP, rsp);
    SetReg(emu_.uc(), UC_X86_REG_RCX, rcx);
    SetReg(emu_.uc(), UC_X86_REG_RDX, reinterpret_cast<uint64_t>(rdx));
    EXPECT_EQ(emu_.Start(reinterpret_cast<uint64_t>(code)), UC_ERR_OK);
    EXPECT_EQ(emu_.Ip(), emu_.ReturnAddress());
    return static_cast<uint32_t>(Reg(emu_.uc(), UC_X86_REG_RAX));
  }

  Simulator sim_;
  Emulator &emu_ = Emulator::Get(64);
  uint8_t *pages_ = nullptr;
  uint64_t stackTop_ = 0;
};

// Code and the code that patches it on one page, as a module's code and globals share one.
TEST_F(StoresIntoCode, AStoreIntoTranslatedCodeRunsTheNewCode) {
  ASSERT_TRUE(CodePages::Tracked()) << "Unicorn does not reach the engine's TLB functions";
  uint8_t *code = Page(0);
  std::memcpy(code, kReturnOne, sizeof kReturnOne);
  std::memcpy(code + 64, kStoreEcxAtRdx, sizeof kStoreEcxAtRdx);
  EXPECT_EQ(Call(code), 1u);
  Call(code + 64, 2, code + kImmediate);
  EXPECT_EQ(Call(code), 2u);
  // The same once the page's TLB entry is filled again while it holds code.
  RefillTlb();
  Call(code + 64, 5, code + kImmediate);
  EXPECT_EQ(Call(code), 5u);
}

// A page is written while it holds no code, so its stores take the fast path; then code comes
// there and is patched from another page.
TEST_F(StoresIntoCode, CodeOnAPageWrittenBeforeIsStillWatched) {
  ASSERT_TRUE(CodePages::Tracked()) << "Unicorn does not reach the engine's TLB functions";
  uint8_t *data = Page(1);
  uint8_t *patcher = Page(2);
  std::memcpy(patcher, kStoreEcxAtRdx, sizeof kStoreEcxAtRdx);
  Call(patcher, 0x1234, data + 256);
  uint32_t stored = 0;
  std::memcpy(&stored, data + 256, sizeof stored);
  EXPECT_EQ(stored, 0x1234u);

  std::memcpy(data, kReturnOne, sizeof kReturnOne);
  EXPECT_EQ(Call(data), 1u);
  Call(patcher, 3, data + kImmediate);
  EXPECT_EQ(Call(data), 3u);
  // And again, once the page has lost that code and got it back.
  Call(patcher, 4, data + kImmediate);
  EXPECT_EQ(Call(data), 4u);
}

// The simulator reads image memory (a service call's stack arguments) straight from board
// memory, but only what the processor sees: a guard page below an image's stack is board memory
// of this process and a hole for the processor.
TEST(EmulatorRead, ReadsWhatTheProcessorSees) {
  Simulator sim(DefaultBoard(), ImageEngineOptions());
  const Emulator &emu = Emulator::Get(64);
  auto *block = static_cast<char *>(sim.memory().Allocate(Space::Boot, 16));
  std::memcpy(block, "board memory", 12);
  char text[12] = {};
  ASSERT_EQ(emu.Read(reinterpret_cast<uint64_t>(block), text, sizeof text), UC_ERR_OK);
  EXPECT_EQ(std::string(text, sizeof text), "board memory");

  const ImageSlot slot = SlotAt(ModuleKind::Dxe, sim.memory().Kept(Space::Boot).begin, 0);
  uint64_t word = 0;
  EXPECT_EQ(emu.Read(slot.guard + 8, &word, sizeof word), UC_ERR_READ_UNMAPPED);
  EXPECT_EQ(emu.Read(slot.stackLo - 4, &word, sizeof word), UC_ERR_READ_UNMAPPED);
  EXPECT_EQ(emu.Read(slot.stackLo, &word, sizeof word), UC_ERR_OK);
}

} // namespace
} // namespace boardsim::testing
