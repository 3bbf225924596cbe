// S3SaveSmm against data that code outside SMRAM controls: the S3 save table's offsets, the
// communication buffer named by a PCD, heap-list interfaces installed from DXE, and HOB lists
// with odd lengths; and the record and events of an image whose start-up failed. Each case runs
// the board in boards/ that shows it.
#include "Scenario.h"

#include <cstring>
#include <string>

namespace boardsim::testing {
namespace {

constexpr char kHeapListGuid[] = "AF62673D-DEDA-43AE-8F03-9C2D89FD78DA";

// Everything the UARTs received.
std::string UartText(const Scenario &run) {
  std::string text;
  for (const auto &[port, received] : run.final()["uart_text"].items())
    text += received.get<std::string>();
  return text;
}

// The table stays as the builder left it: nothing written, sent, freed or closed.
void ExpectTableRefused(const Scenario &run) {
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x90682}));
  EXPECT_TRUE(run.Of("pcd_get", Field("token", 553)).empty());
  EXPECT_TRUE(run.Of("communicate").empty());
  EXPECT_EQ(run.final()["s3_table"]["freed"], false);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 0);
  EXPECT_EQ(run.final()["s3_record"]["table_base"], run.First("s3_table_build")["address"]);
}

TEST(TableOffsets, AnEndMarkPointingIntoSmramIsRefused) {
  Scenario run(ExampleBoard("s3-end-mark-in-smram.toml"));
  ExpectTableRefused(run);
  EXPECT_NE(UartText(run).find("TarnS3Lib table offset check fail\n"), std::string::npos);
  EXPECT_EQ(run.final()["s3_record"]["locked"], 1);
}

// Without a whole SMRAM map the module cannot tell SMRAM from other memory, so it refuses the
// table whose end mark aims at the record, and never gets to the communication buffer in SMRAM.
TEST(TableOffsets, WithoutAWholeSmramMapTheTableIsRefused) {
  for (const char *board : {"s3-no-smram-map.toml", "s3-smram-map-query-fails.toml"}) {
    SCOPED_TRACE(board);
    Scenario run(ExampleBoard(board));
    ExpectTableRefused(run);
    EXPECT_EQ(run.Of("injected").size(), 1u);
  }
}

// A huge offset that wraps the address, and a table in SMRAM whose end mark would land outside it.
TEST(TableOffsets, WrappingOffsetsAndOffsetsLeavingSmramAreRefused) {
  for (const char *table : {"{ terminator_offset = \"0xFFFFFFFFFFFFFFF0\" }",
                            "{ table_memory = \"smram\", terminator_offset = 0x40000000 }"}) {
    SCOPED_TRACE(table);
    Scenario run(std::string("[cpu]\nerror_stop_probe = 1\n[[boot]]\ndispatch = \"S3SaveSmm\"\n"
                             "[[boot]]\nbuild_s3_table = ") +
                 table + "\n[[boot]]\nsignal = \"ready_to_boot\"\n");
    ExpectTableRefused(run);
  }
}

// A table outside SMRAM can change while the callback works on it (another processor, a DMA
// agent). Here its boundary marker is wrong, and while the error stop shows that, an agent repairs
// the marker and turns TerminatorOffset to the S3 record's TableBase field in SMRAM before it
// releases the stop. The end mark still goes where the checked copy of the header says.
TEST(TableOffsets, AHeaderChangedAfterTheCheckIsNotReadAgain) {
  uint8_t *table = nullptr;
  uint64_t record = 0;
  auto agent = [&](const Json &e) {
    if (e["ev"] == "s3_table_build") {
      table = reinterpret_cast<uint8_t *>(e["address"].get<uintptr_t>());
      record = e["record"].get<uint64_t>();
    }
    if (e["ev"] == "io" && e["port"] == 0xE0 && e["value"] == 0xDEAD && table) {
      const uint32_t marker = 0x01558844;
      const uint64_t toRecord = record + 8 - reinterpret_cast<uintptr_t>(table);
      std::memcpy(table + 0x80, &marker, sizeof marker);
      std::memcpy(table + 40, &toRecord, sizeof toRecord);
    }
  };
  Scenario run("[cpu]\nerror_stop_probe = 1\n[[boot]]\ndispatch = \"S3SaveSmm\"\n[[boot]]\n"
               "build_s3_table = { boundary_value = 7 }\n[[boot]]\nsignal = \"ready_to_boot\"\n",
               agent);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x90677}));
  EXPECT_EQ(run.final()["s3_record"]["table_base"], reinterpret_cast<uintptr_t>(table));
  EXPECT_EQ(run.final()["s3_table"]["end_mark"], 0xFFFF);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 1);
}

// The message must not be built in SMRAM: a buffer there, or one whose 40 bytes wrap, counts as
// no buffer. The end mark is already written; nothing is sent and the table is kept.
TEST(CommunicationBuffer, ABufferInSmramOrWrappingIsNotUsed) {
  for (const std::string &board :
       {ExampleBoard("s3-communication-buffer-in-smram.toml"),
        std::string("[pcd]\nPcdS3CommunicationBuffer = \"0xFFFFFFFFFFFFFFF0\"\n[cpu]\n"
                    "error_stop_probe = 1\n[[boot]]\ndispatch = \"S3SaveSmm\"\n[[boot]]\n"
                    "build_s3_table = {}\n[[boot]]\nsignal = \"ready_to_boot\"\n")}) {
    Scenario run(board);
    EXPECT_EQ(run.final()["error_stops"], Json::array({0x90821}));
    EXPECT_TRUE(run.Of("communicate").empty());
    EXPECT_EQ(run.final()["s3_table"]["end_mark"], 0xFFFF);
    EXPECT_EQ(run.final()["s3_table"]["freed"], false);
    EXPECT_EQ(run.final()["s3_record"]["closed"], 0);
  }
}

// A zero-filled interface installed from DXE neither crashes the first image nor hides the real
// list from the second: the first builds and installs its own, the second adopts that one.
TEST(HeapList, AnInterfaceOutsideSmramIsPassedOver) {
  Scenario run(ExampleBoard("smm-fake-heap-list.toml"));
  for (const Json &image : run.final()["images"])
    EXPECT_EQ(image["status"], "EFI_SUCCESS") << image;
  const auto installs = run.Of("protocol_install", Field("guid", kHeapListGuid));
  ASSERT_EQ(installs.size(), 2u);
  EXPECT_EQ(installs[0]["image"], "platform");
  EXPECT_EQ(installs[1]["image"], "S3SaveSmm#1");
  // The second image looked through both handles and took the first image's list instead of
  // installing one of its own.
  EXPECT_EQ(run.First("handles_locate", Field("image", "S3SaveSmm#2"))["count"], 2);
  EXPECT_EQ(run.final()["heap_list"], Json::array({{{"handle", 0xA014}, {"size", 0x201 + 64}}}));
}

// HOBs behind one with an odd HobLength start at odd addresses; their headers read the same.
TEST(HeapList, RecordsBehindAnOddHobLengthAreTransferred) {
  Scenario run(ExampleBoard("smm-odd-hob-length.toml"));
  EXPECT_EQ(run.final()["heap_list"],
            Json::array({{{"handle", 0x80}, {"size", 2}}, {{"handle", 0x100}, {"size", 8}}}));
}

// The owner's failed start-up withdraws its record, so the next image creates its own record and
// events, and the table is handed over.
TEST(FailedOwner, WithdrawsItsRecordForTheNextImage) {
  Scenario run(ExampleBoard("smm-failed-owner-second-image.toml"));
  ASSERT_EQ(run.final()["images"].size(), 2u);
  EXPECT_NE(run.final()["images"][0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.final()["images"][1]["status"], "EFI_SUCCESS");
  const auto sets = run.Of("pcd_set", Field("token", 552));
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[1]["value"], 0);
  EXPECT_EQ(sets[1]["image"], "S3SaveSmm#1");
  EXPECT_EQ(run.Of("free", Field("addr", sets[0]["value"])).size(), 1u);
  EXPECT_EQ(run.Of("event_create", Field("image", "S3SaveSmm#2")).size(), 2u);
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(run.final()["s3_record"]["address"], sets[2]["value"]);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 1);
}

// The ready-to-lock callback closed its own event during set-up; the teardown does not close it
// again, so there is no error stop and the boot goes on.
TEST(FailedOwner, AnEventItsCallbackClosedIsNotClosedAgain) {
  Scenario run(ExampleBoard("smm-ready-to-lock-before-failed-start.toml"));
  EXPECT_EQ(run.final()["outcome"], "completed");
  EXPECT_EQ(run.final()["error_stops"], Json::array());
  const auto closes = run.Of("event_close");
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_NE(closes[0]["event"], closes[1]["event"]);
  EXPECT_TRUE(run.Of("notify", Field("event", closes[1]["event"])).empty());
}

// Nothing reached SMRAM: the record is not closed and the terminated table is kept.
TEST(Handover, AFailedCommunicateIsNotReportedAsDone) {
  Scenario run(ExampleBoard("s3-communicate-fails.toml"));
  EXPECT_NE(UartText(run).find("TarnS3SaveLib SmmCommunication Communicate fail\n"),
            std::string::npos);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 0);
  EXPECT_EQ(run.final()["s3_table"]["freed"], false);
  EXPECT_EQ(run.final()["s3_table"]["end_mark"], 0xFFFF);
}

} // namespace
} // namespace boardsim::testing
