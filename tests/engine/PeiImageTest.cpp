// The IA32 PEI image in the image engine: it executes in place, so image code that writes into
// its own memory ends the run as a crash naming the image and the function.
#include "Board/BoardParser.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Pei/PeiCore.h"
#include "Pei/PpiDatabase.h"

#include <BoardInfoPpi.h>
#include <Guids.h>

#include <gtest/gtest.h>

#include <cstring>

namespace boardsim::testing {
namespace {

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
