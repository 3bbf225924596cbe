#include "LogFiles.h"

#include "Engine/ImageEngine.h"
#include "Log/BoardLog.h"
#include "Log/SuiteLog.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

namespace boardsim {
namespace {

namespace fs = std::filesystem;

constexpr const char *kImageFiles[] = {"BoardInfoPei.efi", "BoardInfoDxe.efi", "S3SaveSmm.efi"};
constexpr const char *kSuitePage = "index.html";
constexpr const char *kBoardFolder = "boards";

bool WriteText(const std::string &path, const std::string &text, const char *what) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (file)
    return true;
  std::cerr << "boardsim: cannot write " << what << " to " << path
            << " (check that the folder exists and is writable)\n";
  return false;
}

std::string Dump(const Json &json) {
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json ReadJson(const fs::path &path) {
  std::ifstream file(path);
  if (!file)
    return Json();
  return Json::parse(file, nullptr, false); // a torn file reads as "discarded", not an object
}

// A page name for each board file: its stem, made safe for a URL and unique in the suite.
std::vector<std::string> PageNames(const std::vector<std::string> &files) {
  std::map<std::string, size_t> taken;
  std::vector<std::string> pages;
  for (const std::string &file : files) {
    std::string stem = fs::path(file).stem().string();
    for (char &c : stem)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
        c = '_';
    const size_t seen = ++taken[stem];
    pages.push_back(std::string(kBoardFolder) + "/" + (stem.empty() ? "board" : stem) +
                    (seen > 1 ? "-" + std::to_string(seen) : "") + ".html");
  }
  return pages;
}

std::vector<log::ImageFile> ImageFiles() {
  std::vector<log::ImageFile> images;
  const fs::path folder = ImageEngine::DefaultDirectory();
  for (const char *name : kImageFiles) {
    std::error_code error;
    const uintmax_t size = fs::file_size(folder / name, error);
    images.push_back({name, error ? std::nullopt : std::optional<uint64_t>(size)});
  }
  return images;
}

} // namespace

bool WriteBoardLog(const RunOptions &options, const Board &board, const RunResult &result,
                   const std::vector<Json> &events, std::vector<ExpectResult> expectations,
                   int exitStatus) {
  const std::string file = options.boardPath.value_or("boards/default.toml");
  const log::BoardLog log =
      log::MakeBoardLog(board, result, events, std::move(expectations),
                        {file == "-" ? "standard input" : file, options.engine, exitStatus});
  bool written = true;
  if (options.htmlPath)
    written &= WriteText(*options.htmlPath, log::BoardPage(log, events, options.suitePage),
                         "the HTML log");
  if (options.summaryPath)
    written &= WriteText(*options.summaryPath, Dump(log::BoardSummary(log)), "the log summary");
  return written;
}

bool SuiteLogFiles::Prepare(const TestOptions &options, const std::vector<std::string> &files) {
  if (!options.htmlDirectory && !options.jsonPath)
    return true;
  std::error_code error;
  if (options.htmlDirectory) {
    html_ = *options.htmlDirectory;
    fs::create_directories(fs::path(html_) / kBoardFolder, error);
    if (error) {
      std::cerr << "boardsim: cannot make the HTML log folder " << html_ << ": " << error.message()
                << "\n";
      return false;
    }
    pages_ = PageNames(files);
  }
  count_ = files.size();
  std::string scratch = (fs::temp_directory_path(error) / "boardsim-suite-XXXXXX").string();
  if (error || !mkdtemp(scratch.data())) {
    std::cerr << "boardsim: cannot make a temporary folder for the runs' summaries (check "
                 "TMPDIR)\n";
    return false;
  }
  scratch_ = scratch;
  return true;
}

std::string SuiteLogFiles::SummaryOf(size_t board) const {
  return (fs::path(scratch_) / (std::to_string(board) + ".json")).string();
}

std::vector<std::vector<std::string>> SuiteLogFiles::RunArguments() const {
  std::vector<std::vector<std::string>> arguments;
  if (scratch_.empty())
    return arguments;
  for (size_t i = 0; i < count_; ++i) {
    arguments.push_back({"--summary", SummaryOf(i)});
    if (!html_.empty())
      arguments.back().insert(arguments.back().end(),
                              {"--html", (fs::path(html_) / pages_[i]).string(), "--suite-page",
                               std::string("../") + kSuitePage});
  }
  return arguments;
}

bool SuiteLogFiles::Write(const TestOptions &options, const std::vector<BoardRun> &runs,
                          const std::vector<std::string> &failures) const {
  if (scratch_.empty())
    return true;
  log::SuiteLog suite{options.commandLine, BOARDSIM_VERSION, ImageFiles(), {}};
  bool written = true;
  for (size_t i = 0; i < runs.size(); ++i) {
    Json summary = ReadJson(SummaryOf(i));
    suite.boards.push_back({runs[i].path, runs[i].status, failures[i], runs[i].output,
                            html_.empty() ? "" : pages_[i],
                            summary.is_object() ? std::move(summary) : Json()});
    // A run that wrote no page (an unusable board file, a run that died) gets one with what it
    // printed, so that every line of the suite page leads somewhere.
    if (html_.empty())
      continue;
    const fs::path page = fs::path(html_) / pages_[i];
    if (!suite.boards.back().summary.is_object() || !fs::exists(page))
      written &= WriteText(page.string(),
                           log::OutputPage(suite.boards.back(), std::string("../") + kSuitePage),
                           "the HTML log");
  }
  if (!html_.empty())
    written &=
        WriteText((fs::path(html_) / kSuitePage).string(), log::SuitePage(suite), "the HTML log");
  if (options.jsonPath)
    written &= WriteText(*options.jsonPath, Dump(log::SuiteSummary(suite)), "the log summary");
  return written;
}

SuiteLogFiles::~SuiteLogFiles() {
  std::error_code error;
  if (!scratch_.empty())
    fs::remove_all(scratch_, error);
}

} // namespace boardsim
