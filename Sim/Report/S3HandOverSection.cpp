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

void AddRecord(Section &section, const Json &record) {
  if (!record.is_object())
    return;
  const std::string address = Hex(U64(record, "address")) + " (PcdS3LibPrivateData)";
  const std::string state = std::string(U64(record, "locked") ? "locked" : "not locked") + ", " +
                            (U64(record, "closed") ? "closed" : "not closed") + "; TableBase " +
                            Hex(U64(record, "table_base"));
  AddRow(section, {"  record   " + address, "           " + state},
         {{"record", address + "; " + state}});
}

void AddTable(Section &section, const ReportInput &input) {
  for (const Json &e : input.events) {
    if (!Is(e, "s3_table_build"))
      continue;
    const std::string built = Plural(U64(e, "size"), "byte") + " at " + Hex(U64(e, "address")) +
                              " in " + HandOverPoolName(Text(e, "space"));
    const std::string owner = U64(e, "record") ? "for record " + Hex(U64(e, "record"))
                                               : std::string("no record to attach it to");
    AddRow(section, {"  built    " + built, "           " + owner},
           {{"built", built + "; " + owner}, U64(e, "seq")});
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
  AddRow(section, "  %-8s %s",
         {{"table", Hex(U64(table, "address")) + ": " + endMark + "; " +
                        (table.value("freed", false) ? "freed" : "not freed")}});
}

void AddMessage(Section &section, const Json &e, uint64_t sharedRecord) {
  const std::vector<uint8_t> bytes = BytesFromHex(Text(e, "bytes"));
  const std::string message = Plural(U64(e, "size"), "byte") + " at " + Duration(U64(e, "t_us")) +
                              " from " + Text(e, "image");
  section.lines.push_back("  message  " + message);
  section.tables.push_back({"message of " + message, {"field", "value"}, {}, {}});
  constexpr std::string_view kField = "    %-13s %s";
  if (bytes.size() < kDataAt) {
    AddRow(section, "    %s%s",
           {{"too short for a communicate header: ", Text(e, "bytes")}, U64(e, "seq")});
    return;
  }
  EFI_GUID guid;
  std::memcpy(&guid, bytes.data(), kGuidSize);
  const char *name = GuidName(guid);
  AddRow(section, kField,
         {{"HeaderGuid", GuidText(guid) + (name ? ", " + std::string(name) : "")}, U64(e, "seq")});
  AddRow(section, kField, {{"MessageLength", std::to_string(Field<uint64_t>(bytes, kLengthAt))}});
  if (bytes.size() < kHandOverSize) {
    AddRow(section, kField, {{"data", Text(e, "bytes").substr(2 * kDataAt)}});
    return;
  }
  AddRow(section, kField, {{"function", std::to_string(Field<uint32_t>(bytes, kFunctionAt))}});
  AddRow(section, kField, {{"reserved", Hex(Field<uint32_t>(bytes, kReservedAt))}});
  const uint64_t record = Field<uint64_t>(bytes, kRecordAt);
  AddRow(section, kField,
         {{"record", Hex(record) + (record == sharedRecord ? " (the shared record)"
                                                           : " (not the shared record)")}});
  if (bytes.size() > kHandOverSize)
    AddRow(section, kField,
           {{"more", Plural(bytes.size() - kHandOverSize, "byte") + " after the hand-over data"}});
}

} // namespace

Section S3HandOverSection(const ReportInput &input) {
  Section section;
  section.tables.push_back({"", {"", ""}, {}, {}});
  const Json &record = input.final.value("s3_record", Json());
  AddRecord(section, record);
  AddTable(section, input);
  if (section.tables[0].rows.empty())
    section.tables.clear();
  const uint64_t shared = record.is_object() ? U64(record, "address") : 0;
  for (const Json &e : input.events)
    if (Is(e, "communicate"))
      AddMessage(section, e, shared);
  return section;
}

} // namespace boardsim::report
