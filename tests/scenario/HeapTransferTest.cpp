// The heap transfer of the S3 save SMM driver: which "HEAP" records of the HOB list become SMRAM
// nodes, in what order and size, how malformed HOBs are walked, and how a second image adopts the
// list the first one published.
#include "Scenario.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace boardsim::testing {
namespace {

// The SMRAM map an image copies: one 32-byte descriptor for the board's one SMRAM range, however
// many SMM images lie in it.
constexpr uint64_t kPrivateRecordSize = 16;
constexpr uint64_t kNodeHeaderSize = 32;

using HeapList = std::vector<std::pair<uint32_t, uint32_t>>; // handle, size

HeapList FinalHeapList(const Scenario &run) {
  HeapList list;
  const Json &nodes = run.final()["heap_list"];
  EXPECT_TRUE(nodes.is_array()) << "no heap list was published";
  if (!nodes.is_array())
    return list;
  for (const Json &node : nodes)
    list.emplace_back(node["handle"], node["size"]);
  return list;
}

// Sizes of the SMRAM allocations one image made, in order.
std::vector<uint64_t> SmramAllocations(const Scenario &run, const std::string &image) {
  std::vector<uint64_t> sizes;
  for (const Json &e : run.Of("alloc", AllOf({Field("space", "smram"), Field("image", image)})))
    sizes.push_back(e["size"]);
  return sizes;
}

// The allocations of a first image: the range table, one node per transferred record, then the
// S3 save library's private record.
std::vector<uint64_t> FirstImageAllocations(const std::vector<uint64_t> &payloads) {
  std::vector<uint64_t> sizes = {kSmramRangeTableSize};
  for (uint64_t payload : payloads)
    sizes.push_back(kNodeHeaderSize + payload);
  sizes.push_back(kPrivateRecordSize);
  return sizes;
}

void ExpectCleanLoad(const Scenario &run) {
  EXPECT_EQ(run.final()["outcome"], "completed");
  EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
  EXPECT_TRUE(run.final()["error_stops"].empty());
  EXPECT_TRUE(run.Faults().empty());
}

// Every transferred record gets a node of its size plus 32 bytes, appended in HOB order (not
// handle order).
TEST(HeapTransferRecords, RecordsBecomeNodesInHobOrder) {
  Scenario run(std::string(R"(
[[heap]]
handle = 0x30
data = "010203"
[[heap]]
handle = 0x10
data = "FF"
[[heap]]
handle = 0xA014
kind = 8
data = "0405060708"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{0x30, 3}, {0x10, 1}, {0xA014, 5}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({3, 1, 5}));
  // The nodes are built after the lookup for an existing list and before the list is published.
  const long lookup = run.IndexOf("protocol_locate", Field("name", "SMM_HEAP_LIST_PROTOCOL"));
  const long firstNode = run.IndexOf("alloc", Field("size", 35));
  const long lastNode = run.IndexOf("alloc", Field("size", 37));
  const long install = run.IndexOf("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL"));
  EXPECT_LT(lookup, firstNode);
  EXPECT_LT(lastNode, install);
  EXPECT_EQ(run.Of("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL")).size(), 1u);
}

// A record without payload gets a bare 32-byte node and keeps its place in the list.
TEST(HeapTransferRecords, ZeroSizeRecordGetsABareNode) {
  Scenario run(std::string(R"(
[[heap]]
handle = 0x51
data = "01"
[[heap]]
handle = 0x52
[[heap]]
handle = 0x53
data = "0203"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{0x51, 1}, {0x52, 0}, {0x53, 2}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({1, 0, 2}));
}

// Records with one handle are all kept, in HOB order, so a lookup meets the first one first.
TEST(HeapTransferRecords, DuplicateHandlesKeepBothInHobOrder) {
  Scenario run(std::string(R"(
[[heap]]
handle = 7
data = "11"
[[heap]]
handle = 8
data = "22"
[[heap]]
handle = 7
data = "33445566"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{7, 1}, {8, 1}, {7, 4}}));
}

// Only a copy flag of exactly 1 selects a record; any other value leaves it in the HOB.
TEST(HeapTransferRecords, OnlyCopyFlagOneIsTransferred) {
  Scenario run(std::string(R"(
[[heap]]
handle = 1
copy_to_smram = 0
data = "AA"
[[heap]]
handle = 2
copy_to_smram = 2
data = "AA"
[[heap]]
handle = 3
data = "AA"
[[heap]]
handle = 4
copy_to_smram = 0xFF
data = "AA"
[[heap]]
handle = 5
copy_to_smram = 0x81
data = "AA"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{3, 1}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({1}));
}

// A GUID-extension HOB under another name, or with the right name and a signature other than
// "HEAP", is passed over; the records around it still arrive.
TEST(HeapTransferRecords, ForeignGuidOrSignatureIsIgnored) {
  Scenario run(std::string(R"(
[[heap]]
handle = 1
data = "AA"
[[heap]]
handle = 2
guid = "D97D161A-16CD-4ADA-B9F6-AEC3F9FCCC2D"
data = "AA"
[[heap]]
handle = 3
signature = 0x51414548
data = "AA"
[[heap]]
handle = 4
signature = 0
data = "AA"
[[heap]]
handle = 5
data = "AABB"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{1, 1}, {5, 2}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({1, 2}));
}

// A record whose payload reaches past its HOB (HobLength below 40 + Size) is skipped, and so is a
// HOB too short for the record header; the walk goes on at HobLength either way. A HobLength of
// exactly 40 + Size is well formed.
TEST(HeapTransferMalformed, RecordLongerThanItsHobIsSkipped) {
  Scenario run(std::string(R"(
[[heap]]
handle = 1
size = 8
hob_length = 48
[[heap]]
handle = 2
size = 9
hob_length = 48
[[heap]]
handle = 3
data = "AA"
hob_length = 16
[[heap]]
handle = 4
data = "0102"
)") + kDispatchS3SaveSmm);
  ExpectCleanLoad(run);
  EXPECT_EQ(FinalHeapList(run), (HeapList{{1, 8}, {4, 2}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({8, 2}));
}

// A HobLength smaller than the 8-byte generic header could never advance the walk: it ends the
// list, and the records laid out after it are not reached.
TEST(HeapTransferMalformed, HobShorterThanItsHeaderEndsTheWalk) {
  for (int length : {4, 7}) {
    SCOPED_TRACE("hob_length " + std::to_string(length));
    Scenario run(std::string(R"(
[[heap]]
handle = 1
data = "AA"
[[heap]]
handle = 2
data = "BB"
hob_length = )") +
                 std::to_string(length) +
                 R"(
[[heap]]
handle = 3
data = "CC"
)" + kDispatchS3SaveSmm);
    ExpectCleanLoad(run);
    EXPECT_EQ(FinalHeapList(run), (HeapList{{1, 1}}));
    EXPECT_EQ(run.Of("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL")).size(), 1u);
  }
}

// A node that cannot be allocated drops only its own record.
TEST(HeapTransferMalformed, RecordWithoutSmramIsSkipped) {
  Scenario run(std::string(R"(
[cpu]
error_stop_probe = 1
[[heap]]
handle = 1
data = "AA"
[[heap]]
handle = 2
data = "BBBB"
[[heap]]
handle = 3
data = "CC"
[[fault]]
call = "smm.SmmAllocatePool"
nth = 3
)") + kDispatchS3SaveSmm);
  EXPECT_EQ(run.First("entry")["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x70180}));
  EXPECT_EQ(FinalHeapList(run), (HeapList{{1, 1}, {3, 1}}));
}

// With no record, or no HOB list at all, the list is empty and still published.
TEST(HeapTransferEmpty, EmptyListIsStillPublished) {
  constexpr char kRecord[] = R"(
[[heap]]
handle = 1
data = "AA"
)";
  for (const std::string &board :
       {std::string(kDispatchS3SaveSmm),
        std::string("[smm]\nhob_list = false\n") + kRecord + kDispatchS3SaveSmm}) {
    SCOPED_TRACE(board);
    Scenario run(board);
    ExpectCleanLoad(run);
    EXPECT_EQ(run.final()["heap_list"], Json::array());
    EXPECT_EQ(run.Of("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL")).size(), 1u);
    EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({}));
  }
}

// A second image finds the first one's list: it copies no record, allocates only its own range
// table (the private record is adopted too), publishes nothing, and the list stays as it was.
TEST(HeapTransferSharing, SecondImageAdoptsTheFirstList) {
  Scenario run(std::string(R"(
[[heap]]
handle = 0x21
data = "AABBCC"
[[heap]]
handle = 0x22
data = "DD"
)") + kDispatchS3SaveSmm +
               kDispatchS3SaveSmm);
  ASSERT_EQ(run.final()["images"].size(), 2u);
  for (const Json &image : run.final()["images"]) {
    EXPECT_EQ(image["status"], "EFI_SUCCESS");
    EXPECT_EQ(image["unloaded"], false);
  }
  EXPECT_EQ(FinalHeapList(run), (HeapList{{0x21, 3}, {0x22, 1}}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#1"), FirstImageAllocations({3, 1}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#2"), std::vector<uint64_t>{kSmramRangeTableSize});
  const std::vector<Json> lookups =
      run.Of("protocol_locate",
             AllOf({Field("name", "SMM_HEAP_LIST_PROTOCOL"), Field("image", "S3SaveSmm#2")}));
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(lookups[0]["status"], "EFI_SUCCESS");
  const std::vector<Json> installs =
      run.Of("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL"));
  ASSERT_EQ(installs.size(), 1u);
  EXPECT_EQ(installs[0]["image"], "S3SaveSmm#1");
  EXPECT_EQ(run.Of("smi_register", Field("image", "S3SaveSmm#2")).size(), 2u);
  EXPECT_TRUE(run.final()["error_stops"].empty());
  EXPECT_TRUE(run.Faults().empty());
}

// When the first image could not publish its list, the second finds none and builds and
// publishes its own from the same HOBs.
TEST(HeapTransferSharing, SecondImageBuildsItsOwnWhenNoneWasPublished) {
  Scenario run(std::string(R"(
[cpu]
error_stop_probe = 1
[[heap]]
handle = 0x21
data = "AABBCC"
[[fault]]
call = "dxe.InstallProtocolInterface"
target = "SMM_HEAP_LIST_PROTOCOL"
image = "S3SaveSmm#1"
)") + kDispatchS3SaveSmm +
               kDispatchS3SaveSmm);
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x70268}));
  EXPECT_EQ(SmramAllocations(run, "S3SaveSmm#2"),
            (std::vector<uint64_t>{kSmramRangeTableSize, kNodeHeaderSize + 3}));
  const std::vector<Json> installs =
      run.Of("protocol_install", Field("name", "SMM_HEAP_LIST_PROTOCOL"));
  ASSERT_EQ(installs.size(), 1u);
  EXPECT_EQ(installs[0]["image"], "S3SaveSmm#2");
  EXPECT_EQ(FinalHeapList(run), (HeapList{{0x21, 3}}));
  EXPECT_TRUE(run.Faults().empty());
}

// SMRAM reported as two touching descriptors: the trace buffer's node lies across the join and is
// still found, so the breakpoint channel gathers into it and hands it to the agent.
TEST(HeapTransferSmramMap, ABufferAcrossTouchingDescriptorsIsFound) {
  Scenario run(ExampleBoard("smm-smram-split.toml"));
  const Json node = run.First("alloc", Field("size", 0x1020));
  ASSERT_FALSE(node.is_null());
  const uint64_t at = node["addr"].get<uint64_t>();
  EXPECT_LT(at, 0x20155000u);
  EXPECT_GT(at + 0x1020, 0x20155000u);
  EXPECT_EQ(run.final()["heap_list"], Json::parse(R"([{"handle": 40980, "size": 4096}])"));
  EXPECT_FALSE(run.Of("io", Field("port", 0x99CC)).empty());
}

} // namespace
} // namespace boardsim::testing
