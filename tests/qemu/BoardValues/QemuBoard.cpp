// qemu-board: the bridge between a board file and the QEMU checks, so that the harness modules
// and boardsim run one and the same board.
//   qemu-board header BOARD.toml OUT.h             the board's values for the harness modules
//   qemu-board vars BOARD.toml STORE.fd OUT.fd     the variable store with the board's Setup
//   qemu-board expect pei|smm TRACE.jsonl          boardsim's trace as the lines the harness prints
#include "Board/BoardParser.h"
#include "Board/PcdTable.h"

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "BoardHeader.h"
#include "ExpectedLines.h"
#include "VariableStore.h"

namespace {

boardsim::Board Load(const std::string &path) {
  boardsim::LoadResult loaded = boardsim::LoadBoardFile(path);
  if (!loaded.board) {
    std::string text = path + ": not a usable board file:";
    for (const boardsim::BoardError &error : loaded.errors) {
      text += "\n  " + error.ToString();
    }
    throw std::runtime_error(text);
  }
  return *loaded.board;
}

std::vector<std::uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error(path + ": cannot be read");
  }
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    throw std::runtime_error(path + ": cannot be written; check that its folder exists");
  }
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 3 && args[0] == "header") {
      WriteText(args[2], qemuboard::BoardHeader(Load(args[1]), args[1]));
    } else if (args.size() == 4 && args[0] == "vars") {
      const std::vector<std::uint8_t> store =
          qemuboard::WithSetupVariable(ReadBytes(args[2]), Load(args[1]).setup);
      WriteText(args[3], std::string(store.begin(), store.end()));
    } else if (args.size() == 3 && args[0] == "expect" && (args[1] == "pei" || args[1] == "smm")) {
      std::ifstream trace(args[2]);
      if (!trace) {
        throw std::runtime_error(args[2] + ": cannot be read");
      }
      std::cout << (args[1] == "pei" ? qemuboard::PeiLines(trace) : qemuboard::SmmLines(trace));
    } else {
      std::cerr << "usage: qemu-board header BOARD.toml OUT.h\n"
                   "       qemu-board vars BOARD.toml STORE.fd OUT.fd\n"
                   "       qemu-board expect pei|smm TRACE.jsonl\n";
      return 2;
    }
  } catch (const std::exception &error) {
    std::cerr << "qemu-board: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
