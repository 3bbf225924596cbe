// The S3 section: the shared record, the table's end mark and fate, and the hand-over message
// decoded field by field.
#include "ReportRun.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace boardsim::testing {
namespace {

constexpr std::string_view kS3 = "S3 save table and hand-over";

// The message's "Label   value" lines as label -> value.
std::map<std::string, std::string> MessageFields(const ReportRun &run) {
  std::map<std::string, std::string> fields;
  bool inMessage = false;
  for (const std::string &line : run.Section(kS3)) {
    if (line.starts_with("  message"))
      inMessage = true;
    else if (inMessage && line.starts_with("    ")) {
      std::istringstream in(line);
      std::string label, value;
      in >> label;
      std::getline(in >> std::ws, value);
      fields[label] = value;
    }
  }
  return fields;
}

TEST(S3HandOverReport, TheMessageNamesTheSharedRecordWithTheHandOverFields) {
  ReportRun run(DefaultBoardText());
  const Json &record = run.result().final["s3_record"];
  ASSERT_TRUE(record.is_object());
  const std::string address = UpperHex(record["address"].get<uint64_t>());

  std::map<std::string, std::string> fields = MessageFields(run);
  EXPECT_EQ(fields["HeaderGuid"], "5C4061F0-D051-4F43-BC23-5E5E89B3CEC0, S3_SAVE_COMMUNICATE_GUID");
  EXPECT_EQ(fields["MessageLength"], "16");
  EXPECT_EQ(fields["function"], "1");
  EXPECT_EQ(fields["reserved"], "0x0");
  EXPECT_EQ(fields["record"], address + " (the shared record)");

  EXPECT_EQ(run.LinesWith(kS3, "record   " + address).size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kS3, "locked, closed; TableBase").size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kS3, "end mark 0xFFFF; freed").size(), 1u) << run.report();
}

TEST(S3HandOverReport, WithoutACommunicationBufferTheTableIsMarkedButNeitherSentNorFreed) {
  ReportRun run(R"(
[pcd]
PcdS3CommunicationBuffer = 0
[cpu]
error_stop_probe = 1
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = {}
[[boot]]
signal = "ready_to_boot"
)");
  EXPECT_TRUE(MessageFields(run).empty()) << run.report();
  EXPECT_EQ(run.LinesWith(kS3, "not locked, not closed").size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kS3, "end mark 0xFFFF; not freed").size(), 1u) << run.report();
}

TEST(S3HandOverReport, ATableThatFailsItsCheckShowsNoEndMark) {
  ReportRun run(R"(
[cpu]
error_stop_probe = 1
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = { boundary_value = 0 }
[[boot]]
signal = "ready_to_boot"
)");
  EXPECT_EQ(run.LinesWith(kS3, "end mark 0x0000 (not terminated); not freed").size(), 1u)
      << run.report();
  EXPECT_TRUE(MessageFields(run).empty());
}

TEST(S3HandOverReport, TheSectionIsLeftOutWhenNoModuleKeepsARecord) {
  ReportRun run("[[boot]]\ndispatch = \"BoardInfoDxe\"\n");
  EXPECT_FALSE(run.HasSection(kS3)) << run.report();
}

} // namespace
} // namespace boardsim::testing
