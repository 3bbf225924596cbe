// The S3 save table's life: the shared record, the table the platform built, and each SMM
// communication message decoded field by field (an EFI_SMM_COMMUNICATE_HEADER, PI volume 4,
// whose data is the hand-over: function, reserved, record address).
#include "Core/GuidNames.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

#include <cstring>

namespace boardsim::report {
namespace {

constexpr size_t kGuidSize = 16, kLengthAt = 16, kDataAt = 24;
constexpr size_t kFunctionAt = 24, kReservedAt = 28, kRecordAt = 32, kHandOverSize = 40;

template <typename T> T Field(const std::vector<uint8_t> &bytes, size_t at) {
  T value{};
  if (at + sizeof(T) <= bytes.size())
    std::memcpy(&value, &bytes[at], sizeof(T));
  return value;
}

std::string HandOverPoolName(const std::string &space) {
  return space == "smram" ? "SMRAM" : space == "boot" ? "boot-services memory" : space;
}

void RecordLines(const Json &record, SectionLines &lines) {
  if (!record.is_object())
    return;
  lines.push_back("  record   " + Hex(U64(record, "address")) + " (PcdS3LibPrivateData)");
  lines.push_back(std::string("           ") + (U64(record, "locked") ? "locked" : "not locked") +
                  ", " + (U64(record, "closed") ? "closed" : "not closed") + "; TableBase " +
                  Hex(U64(record, "table_base")));
}

void TableLines(const ReportInput &input, SectionLines &lines) {
  for (const Json &e : input.events) {
    if (!Is(e, "s3_table_build"))
      continue;
    lines.push_back("  built    " + Plural(U64(e, "size"), "byte") + " at " +
                    Hex(U64(e, "address")) + " in " + HandOverPoolName(Text(e, "space")));
    lines.push_back("           " + (U64(e, "record") ? "for record " + Hex(U64(e, "record"))
                                                      : std::string("no record to attach it to")));
  }
  const Json &table = input.final.value("s3_table", Json());
  if (!table.is_object())
    return;
  const Json &mark = table.value("end_mark", Json());
  std::string endMark = "no end mark read";
  if (mark.is_number()) {
    endMark =
        "end mark " + Format("0x%04llX", static_cast<unsigned long long>(U64(table, "end_mark")));
    if (U64(table, "end_mark") != 0xFFFF)
      endMark += " (not terminated)";
  }
  lines.push_back("  table    " + Hex(U64(table, "address")) + ": " + endMark + "; " +
                  (table.value("freed", false) ? "freed" : "not freed"));
}

void MessageLines(const Json &e, uint64_t sharedRecord, SectionLines &lines) {
  const std::vector<uint8_t> bytes = BytesFromHex(Text(e, "bytes"));
  lines.push_back("  message  " + Plural(U64(e, "size"), "byte") + " at " +
                  Duration(U64(e, "t_us")) + " from " + Text(e, "image"));
  if (bytes.size() < kDataAt) {
    lines.push_back("    too short for a communicate header: " + Text(e, "bytes"));
    return;
  }
  EFI_GUID guid;
  std::memcpy(&guid, bytes.data(), kGuidSize);
  const char *name = GuidName(guid);
  lines.push_back("    HeaderGuid    " + GuidText(guid) + (name ? ", " + std::string(name) : ""));
  lines.push_back("    MessageLength " + std::to_string(Field<uint64_t>(bytes, kLengthAt)));
  if (bytes.size() < kHandOverSize) {
    lines.push_back("    data          " + Text(e, "bytes").substr(2 * kDataAt));
    return;
  }
  lines.push_back("    function      " + std::to_string(Field<uint32_t>(bytes, kFunctionAt)));
  lines.push_back("    reserved      " + Hex(Field<uint32_t>(bytes, kReservedAt)));
  const uint64_t record = Field<uint64_t>(bytes, kRecordAt);
  lines.push_back("    record        " + Hex(record) +
                  (record == sharedRecord ? " (the shared record)" : " (not the shared record)"));
  if (bytes.size() > kHandOverSize)
    lines.push_back("    more          " + Plural(bytes.size() - kHandOverSize, "byte") +
                    " after the hand-over data");
}

} // namespace

SectionLines S3HandOverSection(const ReportInput &input) {
  SectionLines lines;
  const Json &record = input.final.value("s3_record", Json());
  RecordLines(record, lines);
  TableLines(input, lines);
  const uint64_t shared = record.is_object() ? U64(record, "address") : 0;
  for (const Json &e : input.events)
    if (Is(e, "communicate"))
      MessageLines(e, shared, lines);
  return lines;
}

} // namespace boardsim::report
