// Host SMBus transactions in order; repeated attempts are folded into one block with a count.
#include "Report/Repeats.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

SectionLines SmbusSection(const ReportInput &input) {
  SectionLines transactions;
  for (const Json &e : input.events) {
    if (!Is(e, "smbus"))
      continue;
    const bool write = Text(e, "op") == "write_byte";
    const bool ok = Text(e, "status") == "EFI_SUCCESS";
    const std::string data = write || ok ? HexByte(U64(e, "data")) : "-";
    transactions.push_back(Format("0x%02llX     %-5s  0x%02llX     %-5s  %s",
                                  static_cast<unsigned long long>(U64(e, "address")),
                                  write ? "write" : "read",
                                  static_cast<unsigned long long>(U64(e, "command")), data.c_str(),
                                  Text(e, "status").c_str()));
  }
  if (transactions.empty())
    return transactions;
  SectionLines lines = {"  device   op     command  data   status"};
  for (std::string &line : FoldRepeats(transactions, "  ", "attempts"))
    lines.push_back(std::move(line));
  return lines;
}

} // namespace boardsim::report
