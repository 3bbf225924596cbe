// boardsim's own loader of the host images: each instance lies in board memory in its slot, with
// its own globals, code that cannot be written and data reset for every run; it stays placed from
// run to run until something is put over it or a pool comes to cover it; and whoever asks the
// process for its objects (the sanitizers' symbolizer) finds it.
#include "Core/HostFaultTrap.h"
#include "Core/ImageAreas.h"
#include "Core/ImageLoader.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <link.h>
#include <string_view>

namespace boardsim {
namespace {

constexpr uint64_t kSmramSize = 0x400000;

Memory::Layout SmramWithImageArea(uint64_t smramSize) {
  Memory::Layout layout{smramSize, {}};
  layout.kept[static_cast<int>(Space::Smram)] = ImageAreaSize(ModuleKind::Smm);
  return layout;
}

// The file name of the object dl_iterate_phdr reports for `address`, or empty.
std::string ListedAs(const void *address) {
  struct Search {
    uintptr_t address;
    std::string name;
  } search{reinterpret_cast<uintptr_t>(address), {}};
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *data) {
        auto *s = static_cast<Search *>(data);
        for (unsigned i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr) &ph = info->dlpi_phdr[i];
          const uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
          if (ph.p_type == PT_LOAD && s->address - begin < ph.p_memsz) {
            s->name = info->dlpi_name;
            return 1;
          }
        }
        return 0;
      },
      &search);
  return search.name;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

TEST(ImageLoader, InstancesLiveInTheirSlotsUntilSomethingElseTakesThem) {
  uint64_t slot0 = 0;
  LoadedImage *first = nullptr;
  {
    Memory memory(SmramWithImageArea(kSmramSize));
    const Memory::Range area = memory.Kept(Space::Smram);
    ASSERT_EQ(area.size, ImageAreaSize(ModuleKind::Smm));
    slot0 = SlotAt(ModuleKind::Smm, area.begin, 0).base;
    first = &ImageLoader::Acquire("S3SaveSmm", 0, memory, slot0);
    LoadedImage &second =
        ImageLoader::Acquire("S3SaveSmm", 1, memory, SlotAt(ModuleKind::Smm, area.begin, 1).base);

    // Code and data in SMRAM, each instance with globals of its own.
    EXPECT_EQ(first->Base(), slot0);
    EXPECT_TRUE(memory.InSmram(first->Base()) && memory.InSmram(first->Base() + first->Size() - 1));
    auto *setting = static_cast<uint8_t *>(first->Symbol("DebugPrintEnable"));
    ASSERT_NE(setting, nullptr);
    EXPECT_NE(setting, second.Symbol("DebugPrintEnable"));
    EXPECT_TRUE(first->Contains(reinterpret_cast<uintptr_t>(setting)));
    *setting ^= 1;
    EXPECT_TRUE(first->DataChanged());
    EXPECT_FALSE(second.DataChanged());

    // Its code cannot be written; the symbolizer finds it, by its file.
    HostFault fault;
    EXPECT_FALSE(RunTrapped([](void *entry) { *static_cast<volatile uint8_t *>(entry) = 0xCC; },
                            first->Entry(), fault));
    EXPECT_EQ(fault.signal, SIGSEGV);
    EXPECT_EQ(fault.code, SEGV_ACCERR);
    EXPECT_TRUE(EndsWith(ListedAs(first->Entry()), "/S3SaveSmm.so"));
    EXPECT_EQ(first->FunctionAt(reinterpret_cast<uintptr_t>(first->Entry())), "_ModuleEntryPoint");
  }
  {
    // The next run finds it where it was, its data as loaded.
    Memory memory(SmramWithImageArea(kSmramSize));
    EXPECT_EQ(&ImageLoader::Acquire("S3SaveSmm", 0, memory, slot0), first);
    EXPECT_FALSE(first->DataChanged());
    // Something else put over it (the image engine's image) takes its place.
    memory.Overwrite(memory.Kept(Space::Smram));
    EXPECT_EQ(ListedAs(first->Entry()), "");
    std::memset(reinterpret_cast<void *>(slot0), 0x5A, first->Size()); // writable again
    ImageLoader::Acquire("S3SaveSmm", 0, memory, slot0);
    EXPECT_TRUE(EndsWith(ListedAs(first->Entry()), "/S3SaveSmm.so"));
    EXPECT_FALSE(first->DataChanged());
  }
  {
    // SMRAM too small to keep an image area: the pool covers the slot, the image is gone.
    Memory memory(SmramWithImageArea(0x100000));
    EXPECT_EQ(memory.Kept(Space::Smram).size, 0u);
    EXPECT_EQ(ListedAs(first->Entry()), "");
    void *block = memory.Allocate(Space::Smram, 0x10000); // over where its code was
    ASSERT_NE(block, nullptr);
    std::memset(block, 0, 0x10000);
  }
}

} // namespace
} // namespace boardsim
