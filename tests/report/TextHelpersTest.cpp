// The report's text helpers: wrapping into 80 columns, folding repeated lines, and laying out a
// section's table rows as text.
#include "Report/Repeats.h"
#include "Report/ReportText.h"
#include "Report/SectionModel.h"

#include <gtest/gtest.h>

namespace boardsim::report {
namespace {

TEST(Wrap, LinesStayWithinTheWidthAndContinueUnderThePrefix) {
  const std::string text = "installs PPI EFI_PEI_READ_ONLY_VARIABLE2_PPI and then registers for "
                           "arrivals of EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL";
  const std::vector<std::string> lines = Wrap(text, "prefix: ", "        ", 48);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_TRUE(lines.front().starts_with("prefix: installs"));
  std::string rejoined;
  for (const std::string &line : lines) {
    EXPECT_LE(line.size(), 48u) << line;
    EXPECT_TRUE(&line == &lines.front() || line.starts_with("        ")) << line;
    rejoined += (rejoined.empty() ? "" : " ") + line.substr(8);
  }
  EXPECT_EQ(rejoined, text) << "no word lost or split";
}

TEST(Wrap, AWordWiderThanALineIsCutAndGluedSpacesHold) {
  const std::vector<std::string> cut = Wrap(std::string(25, 'x'), "> ", "> ", 10);
  EXPECT_EQ(cut, (std::vector<std::string>{"> xxxxxxxx", "> xxxxxxxx", "> xxxxxxxx", "> x"}));
  const std::vector<std::string> glued = Wrap("waited " + Glued("200 ms") + " here", "", "", 10);
  EXPECT_EQ(glued, (std::vector<std::string>{"waited", "200 ms", "here"}));
  EXPECT_EQ(Wrap("", "only a prefix", ""), (std::vector<std::string>{"only a prefix"}));
}

TEST(Repeats, ARepeatedBlockIsFoundAndTheRestIsLeftAlone) {
  std::vector<std::string> lines = {"start"};
  for (int i = 0; i < 10; ++i)
    lines.insert(lines.end(), {"w71", "r3A", "r3B", "r3E failed"});
  lines.push_back("end");
  const std::vector<Repeat> runs = FindRepeats(lines);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].times, 10u);
  EXPECT_EQ(runs[1].block, (std::vector<std::string>{"w71", "r3A", "r3B", "r3E failed"}));
  EXPECT_EQ(runs[2].block, (std::vector<std::string>{"end"}));
}

TEST(Repeats, OnlyAdjacentCopiesFoldAndTheShorterBlockWinsATie) {
  const std::vector<Repeat> apart = FindRepeats({"a", "b", "a", "c", "a"});
  EXPECT_EQ(apart.size(), 5u);
  const std::vector<Repeat> same = FindRepeats({"a", "a", "a", "a"});
  ASSERT_EQ(same.size(), 1u);
  EXPECT_EQ(same[0].block.size(), 1u);
  EXPECT_EQ(same[0].times, 4u);
}

TEST(Repeats, FoldingCountsLinesAndBlocks) {
  EXPECT_EQ(FoldRepeats({"x", "x", "x", "y"}, "  "),
            (std::vector<std::string>{"  x  (3 times)", "  y"}));
  EXPECT_EQ(FoldRepeats({"a", "b", "a", "b"}, "  ", "attempts"),
            (std::vector<std::string>{"  2 attempts, each:", "    a", "    b"}));
}

TEST(SectionModel, RowsLayOutAsTextAndFoldLikeTheirLines) {
  EXPECT_EQ(LayOut("  %-6s|%4s|%s.", {"ab", "7", "end"}), "  ab    |   7|end.");
  EXPECT_EQ(LayOut("%-3s|%s", {"toolong"}), "toolong|") << "a wide cell is never cut";
  // Three attempts of a two-row block, then a row: the text says so and the table keeps one
  // copy of the block, counted, with the events of its first copy.
  Section section;
  section.tables.push_back({"", {"what"}, {}, {}});
  std::vector<std::string> texts;
  std::vector<Row> rows;
  for (uint64_t seq = 0; seq < 7; ++seq) {
    texts.push_back(seq == 6 ? "done" : seq % 2 ? "wait" : "ask");
    rows.push_back(Row({texts.back()}, seq));
  }
  AddFoldedRows(section, texts, rows, "  ", "attempts");
  EXPECT_EQ(section.lines,
            (std::vector<std::string>{"  3 attempts, each:", "    ask", "    wait", "  done"}));
  const std::vector<Row> &folded = section.tables[0].rows;
  ASSERT_EQ(folded.size(), 3u);
  EXPECT_EQ(folded[0].times, 3u);
  EXPECT_EQ(folded[0].block, 2u);
  EXPECT_EQ(folded[1].times, 1u);
  EXPECT_EQ(folded[2].cells[0], "done");
  EXPECT_EQ(folded[2].event, 6u);
}

TEST(Numbers, TheFormsTheSectionsUse) {
  EXPECT_EQ(Duration(1000), "1 ms");
  EXPECT_EQ(Duration(1500), "1.5 ms");
  EXPECT_EQ(Duration(40), "0.04 ms"); // one unit throughout the report
  EXPECT_EQ(BdfText(0x8009), "80:01.1");
  EXPECT_EQ(PciIdText(0x15218086), "8086:1521");
  EXPECT_EQ(Plural(1, "entry") + ", " + Plural(3, "entry"), "1 entry, 3 entries");
  EXPECT_EQ(PrintableText({'o', 'k', '\r', '\n', 0x01, 0xE9}), "ok\n\\x01\\xE9");
  EXPECT_EQ(Latin1Bytes("\xC3\xA9x"), (std::vector<uint8_t>{0xE9, 'x'}));
}

} // namespace
} // namespace boardsim::report
