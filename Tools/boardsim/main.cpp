// boardsim: boots a simulated board with the firmware modules and shows what they did.
#include "Commands.h"

#include <CLI/CLI.hpp>

int main(int argc, char **argv) {
  CLI::App app{"boardsim - boot the board's firmware modules on a simulated board and report "
               "what they did"};
  app.require_subcommand(1);

  boardsim::RunOptions run;
  CLI::App *runCommand = app.add_subcommand(
      "run", "Boot a board (the built-in default board when BOARD is left out) and print the "
             "report");
  runCommand->add_option("BOARD", run.boardPath, "board file (TOML)");
  runCommand->add_option("--trace", run.tracePath, "write the JSON Lines trace to this file");
  runCommand->add_flag("--quiet", run.quiet, "print only the outcome");
  runCommand->add_flag("--json", run.json, "print the final state as one JSON object");
  runCommand->footer("Exit status: 0 completed, 1 unusable board file or missing module images, "
                     "2 the run halted in an error stop.");

  std::vector<std::string> boards;
  CLI::App *checkCommand = app.add_subcommand("check", "Validate board files without running them");
  checkCommand->add_option("BOARD", boards, "board files (TOML)")->required();

  CLI11_PARSE(app, argc, argv);
  if (*runCommand)
    return boardsim::RunCommand(run);
  return boardsim::CheckCommand(boards);
}
