#include "Board/BoardParser.h"

#include "Board/BoardChecks.h"
#include "Board/BoardReader.h"
#include "Board/BoardSections.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace boardsim {

namespace {

LoadResult Failure(BoardError error) {
  return LoadResult{std::nullopt, {std::move(error)}, {}};
}

} // namespace

LoadResult ParseBoardText(std::string_view text, const std::string &sourceName) {
  toml::table document;
  try {
    document = toml::parse(text, std::string_view(sourceName));
  } catch (const toml::parse_error &error) {
    return Failure(BoardError{sourceName, static_cast<uint32_t>(error.source().begin.line),
                              static_cast<uint32_t>(error.source().begin.column), "",
                              "not valid TOML: " + std::string(error.description()),
                              "fix the syntax at this point; the rest of the file is checked "
                              "once it parses"});
  }

  BoardReader reader(sourceName);
  TableReader root(reader, document, "");
  Board board = DefaultBoardModel();
  board.name = std::filesystem::path(sourceName).stem().string();
  root.String("name", board.name);
  root.String("description", board.description);
  ReadPcdSection(root, board);
  ReadSetupSection(root, board);
  ReadHostSection(root, board);
  ReadPciSection(root, board);
  ReadSmbusSection(root, board);
  ReadBmcSection(root, board);
  ReadCpuSection(root, board);
  ReadSmmSection(root, board);
  ReadHeapSection(root, board);
  ReadBoardTablesSection(root, board);
  ReadS3SaveSmmSection(root, board);
  ReadUartSection(root, board);
  ReadServicesSection(root, board);
  ReadFaultSection(root, board);
  ReadBootSection(root, board);
  ReadExpectSection(root, board);
  root.RejectUnknownKeys();

  // Windows are compared once every key is valid, so that one mistake is not reported twice.
  std::vector<BoardError> windowErrors;
  if (!reader.HasErrors()) {
    windowErrors = CheckDeviceWindows(board, sourceName);
    for (BoardError &error : CheckHeapSpace(board, sourceName))
      windowErrors.push_back(std::move(error));
  }
  if (reader.HasErrors() || !windowErrors.empty()) {
    // Sections are read one after the other; the user reads the report against the file.
    std::vector<BoardError> errors = reader.TakeErrors();
    errors.insert(errors.end(), windowErrors.begin(), windowErrors.end());
    std::stable_sort(errors.begin(), errors.end(), [](const BoardError &a, const BoardError &b) {
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return LoadResult{std::nullopt, std::move(errors), {}};
  }
  std::vector<BoardError> warnings = BootScriptWarnings(board, sourceName);
  return LoadResult{std::move(board), {}, std::move(warnings)};
}

LoadResult LoadBoardFile(const std::string &path) {
  if (path == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return ParseBoardText(text.str(), "stdin");
  }
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return Failure(BoardError{path, 0, 0, "", "is a folder, not a board file",
                              "name a .toml file in it; 'boardsim test " + path +
                                  "' runs every board file in a folder"});
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return Failure(BoardError{path, 0, 0, "",
                              "cannot open the board file: " + std::string(std::strerror(errno)),
                              "check the path and the file's permissions"});
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (text.str().empty()) {
    return Failure(BoardError{path, 0, 0, "", "the board file is empty",
                              "a board that takes every default still says so, e.g. with "
                              "name = \"my-board\""});
  }
  return ParseBoardText(text.str(), path);
}

} // namespace boardsim
