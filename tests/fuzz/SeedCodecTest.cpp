// The seed corpus stands for the boards in boards/: each target's seed, decoded again onto its
// base board, gives back the part of the board it came from.
#include "Targets.h"

#include "Board/BoardParser.h"
#include "Devices/NicModels.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>

namespace boardsim::fuzz {
namespace {

std::vector<std::pair<std::string, Board>> ExampleBoards() {
  std::vector<std::pair<std::string, Board>> boards;
  for (const auto &file : std::filesystem::directory_iterator(BOARDFW_SOURCE_DIR "/boards")) {
    LoadResult loaded = LoadBoardFile(file.path().string());
    EXPECT_TRUE(loaded.board) << file.path();
    if (loaded.board)
      boards.emplace_back(file.path().filename().string(), std::move(*loaded.board));
  }
  return boards;
}

// The base board with one seed of `target` applied; nullopt when the board gives no seed.
std::optional<Board> RoundTrip(const Target &target, const Board &source) {
  std::vector<Bytes> seeds;
  target.seeds("", source, seeds);
  if (seeds.empty())
    return std::nullopt;
  LoadResult base = LoadBoardFile(BOARDFW_SOURCE_DIR "/boards/" + std::string(target.baseBoard));
  ByteReader reader(seeds[0].data(), seeds[0].size());
  target.apply(reader, *base.board);
  return base.board;
}

TEST(SeedCorpus, HeapSeedsGiveBackEveryRecordHeader) {
  size_t seeded = 0;
  for (const auto &[name, board] : ExampleBoards()) {
    std::optional<Board> decoded = RoundTrip(kHeapTarget, board);
    if (!decoded)
      continue;
    ++seeded;
    ASSERT_EQ(decoded->heap.size(), board.heap.size()) << name;
    for (size_t i = 0; i < board.heap.size(); ++i) {
      const HeapRecord &want = board.heap[i], &got = decoded->heap[i];
      EXPECT_EQ(got.handle, want.handle) << name << " record " << i;
      EXPECT_EQ(got.kind, want.kind) << name << " record " << i;
      EXPECT_EQ(got.copy_to_smram, want.copy_to_smram) << name << " record " << i;
      EXPECT_EQ(got.signature, want.signature) << name << " record " << i;
      EXPECT_EQ(got.size, want.size) << name << " record " << i;
      EXPECT_EQ(got.hob_length, want.hob_length) << name << " record " << i;
      EXPECT_EQ(got.guid, want.guid) << name << " record " << i;
      if (!want.trace_buffer)
        EXPECT_EQ(got.data, want.data) << name << " record " << i;
    }
  }
  EXPECT_GE(seeded, 3u);
}

TEST(SeedCorpus, TraceTableSeedsGiveBackTheBufferAndTheTableHeader) {
  size_t seeded = 0;
  for (const auto &[name, board] : ExampleBoards()) {
    std::optional<Board> decoded = RoundTrip(kTraceTableTarget, board);
    if (!decoded)
      continue;
    ++seeded;
    for (const HeapRecord &want : board.heap) {
      if (!want.trace_buffer)
        continue;
      const HeapRecord &got = *std::find_if(decoded->heap.begin(), decoded->heap.end(),
                                            [](const HeapRecord &r) { return r.trace_buffer; });
      EXPECT_EQ(got.size, want.size) << name;
      EXPECT_EQ(got.trace_buffer->capacity, want.trace_buffer->capacity) << name;
      EXPECT_EQ(got.trace_buffer->filter, want.trace_buffer->filter) << name;
      EXPECT_EQ(got.trace_buffer->enable, want.trace_buffer->enable) << name;
      EXPECT_EQ(got.trace_buffer->data, want.trace_buffer->data) << name;
    }
    for (const BootStep &want : board.boot) {
      if (want.action != BootAction::BuildS3Table)
        continue;
      const BootStep &got =
          *std::find_if(decoded->boot.begin(), decoded->boot.end(),
                        [](const BootStep &s) { return s.action == BootAction::BuildS3Table; });
      EXPECT_EQ(got.s3_table.signature, want.s3_table.signature) << name;
      EXPECT_EQ(got.s3_table.size, want.s3_table.size) << name;
      EXPECT_EQ(got.s3_table.boundary_offset, want.s3_table.boundary_offset) << name;
      // The harness keeps the end mark inside the table (see TraceTableInput.cpp).
      if (want.s3_table.terminator_offset + 2 <= want.s3_table.size)
        EXPECT_EQ(got.s3_table.terminator_offset, want.s3_table.terminator_offset) << name;
      EXPECT_EQ(got.s3_table.table_memory, want.s3_table.table_memory) << name;
      break;
    }
  }
  EXPECT_GE(seeded, 3u);
}

TEST(SeedCorpus, VpdAndSetupSeedsAreTheStoresTheModulesRead) {
  for (const auto &[name, board] : ExampleBoards()) {
    if (std::optional<Board> decoded = RoundTrip(kSetupTarget, board))
      EXPECT_EQ(decoded->setup.data, board.setup.data) << name;
    // The harness gives every Mellanox controller one image: the first one's, in the seed.
    std::optional<Board> decoded = RoundTrip(kVpdTarget, board);
    const auto first = std::find_if(board.pci.begin(), board.pci.end(), [](const PciFunction &f) {
      return f.model == NicModel::Mellanox;
    });
    if (first != board.pci.end() && decoded)
      for (const PciFunction &nic : decoded->pci)
        if (nic.model == NicModel::Mellanox)
          EXPECT_EQ(VpdStore(nic), VpdStore(*first)) << name;
  }
}

} // namespace
} // namespace boardsim::fuzz
