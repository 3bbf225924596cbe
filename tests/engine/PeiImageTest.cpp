// The IA32 PEI image in the image engine: its HIGHLOW relocations make it run at the flash
// address it is given, and it executes in place, so image code that writes into its own memory
// ends the run as a crash naming the image and the function.
#include "Board/BoardParser.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Engine/GuestModule.h"
#include "Engine/ImageEngine.h"
#include "Pei/PeiCore.h"
#include "Pei/PpiDatabase.h"

#include <BoardInfoPpi.h>
#include <Guids.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

namespace boardsim::testing {
namespace {

// The constant BOARD_INFO_PPI holds absolute addresses of the entries: relocated for a base other
// than the preferred one, each must still name its own function.
TEST(PeiImage, RelocatedForAnotherBaseTheConstantPpiStillNamesItsEntries) {
  const GuestModule &module = GuestModule::Get(ImageEngine::DefaultDirectory(), "BoardInfoPei");
  ASSERT_EQ(module.Bits(), 32u);
  const auto table = module.SymbolRva("?mBoardInfoPpi@@3UBOARD_INFO_PPI@@B");
  ASSERT_TRUE(table) << "the link map names no mBoardInfoPpi";
  constexpr uint64_t kBase = 0x00F00000;
  const std::vector<uint8_t> &bytes = module.RelocatedFor(kBase);
  // lld folds functions with the same code: entry 7 answers 0 exactly as entry 0 does.
  struct Entry {
    const char *name, *folded;
  };
  constexpr Entry kEntries[] = {{"PeiBooleanQuery0", nullptr},
                                {},
                                {},
                                {"PeiRecordQuery3", nullptr},
                                {"PeiBooleanQuery4", nullptr},
                                {},
                                {"PeiFlagsQuery6", nullptr},
                                {"PeiValueQuery7", "PeiBooleanQuery0"},
                                {},
                                {}};
  static_assert(std::size(kEntries) * sizeof(uint32_t) == 40);
  for (size_t i = 0; i < std::size(kEntries); ++i) {
    uint32_t entry = 0;
    std::memcpy(&entry, bytes.data() + *table + i * sizeof entry, sizeof entry);
    if (!kEntries[i].name) {
      EXPECT_EQ(entry, 0u) << "entry " << i;
      continue;
    }
    ASSERT_GE(entry, kBase) << "entry " << i;
    const std::string function = module.FunctionAt(static_cast<uint32_t>(entry - kBase));
    const bool named = function.find(kEntries[i].name) != std::string::npos ||
                       (kEntries[i].folded && function.find(kEntries[i].folded) == 1);
    EXPECT_TRUE(named) << "entry " << i << " is " << function;
  }
}

TEST(PeiImage, AWriteIntoTheExecuteInPlaceImageIsAFault) {
  LoadResult loaded = ParseBoardText(R"([[boot]]
dispatch = "BoardInfoPei"
)",
                                     "pei.toml");
  ASSERT_TRUE(loaded.board);
  SimOptions options;
  options.captureTrace = true;
  options.engine = Engine::Image;
  Simulator sim(*loaded.board, options);
  ASSERT_EQ(sim.Run().outcome, Outcome::Completed);

  // The module's BOARD_INFO_PPI lies in the image; entry 3 copies a record to its first output.
  void *ppi = nullptr;
  ASSERT_EQ(sim.pei().ppis().Locate(BOARD_INFO_PPI_GUID, 0, nullptr, &ppi), EFI_SUCCESS);
  uint32_t entry = 0;
  std::memcpy(&entry, static_cast<uint8_t *>(ppi) + 3 * sizeof(uint32_t), sizeof entry);
  auto *flag = sim.memory().Allocate(Space::Platform, 16);
  auto *services =
      static_cast<const EFI_PEI_SERVICES **>(const_cast<void *>(sim.pei().ServicesTablePointer()));
  EXPECT_THROW(sim.images().Call(reinterpret_cast<BOARD_INFO_PPI_STATUS_QUERY>(uint64_t{entry}),
                                 Status(EFI_SUCCESS), services, static_cast<BOARD_INFO_PPI *>(ppi),
                                 ppi, flag),
               RunCrashed);

  const Json &fault = sim.trace().Events().back();
  ASSERT_EQ(fault["ev"], "fault") << fault.dump();
  EXPECT_EQ(
      fault["what"].get<std::string>().rfind("write to read-only image BoardInfoPei#1 at ", 0), 0u)
      << fault.dump();
  EXPECT_EQ(fault["address"], reinterpret_cast<uint64_t>(ppi));
  EXPECT_EQ(fault["in_image"], "BoardInfoPei#1");
  EXPECT_NE(fault["function"].get<std::string>().find("PeiRecordQuery3"), std::string::npos)
      << fault.dump();
}

} // namespace
} // namespace boardsim::testing
