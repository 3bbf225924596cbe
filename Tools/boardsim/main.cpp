// boardsim: boots a simulated board with the firmware modules and shows what they did.
#include "Commands.h"

#include <CLI/CLI.hpp>

namespace {

// CLI11 does not wrap texts: the footers are laid out for an 80-column terminal here.
constexpr const char *kMainFooter =
    R"(The modules BoardInfoPei, BoardInfoDxe and S3SaveSmm run as host builds of the
same sources against simulated PEI, DXE and SMM services and board hardware;
with 'run --engine image' BoardInfoDxe.efi and S3SaveSmm.efi run themselves in
an x64 emulator. docs/board-file.md describes board files, docs/trace.md the
trace, docs/image-engine.md the image engine.
Run 'boardsim run --help' or 'boardsim check --help' for each command.)";

constexpr const char *kRunFooter =
    R"(The report shows a timeline of the boot, then (when they have something to
say) the images, faults, PCD writes, the PCI walk with each NIC's rule and MAC
address, the setup items marked, host registers, SMBus and IPMI traffic, the
S3 hand-over, the SMRAM heap list, debug output, POST codes and error stops,
and the outcome. --quiet and --json replace it; --json wins if both are given.

Exit status:
  0  the boot script ran to its end
  1  the board file is unusable, or the module images are missing
     (BOARDSIM_MODULE_DIR names the folder that holds the .so files)
  2  the run halted in an error stop
  3  the run crashed: image code faulted (image engine; the fault event says
     where)

Examples:
  boardsim run
  boardsim run boards/default.toml --trace default.jsonl
  boardsim run my-board.toml --quiet
  boardsim run boards/smm-normal.toml --engine image)";

constexpr const char *kCheckFooter =
    R"(Every problem is listed with its file, line, column, key and a hint, then one
line per file says "ok" or how many errors it has. A board file is never half
applied: 'boardsim run' refuses a file that 'check' faults.

Exit status: 0 every file is usable, 1 at least one has an error.)";

} // namespace

int main(int argc, char **argv) {
  CLI::App app{"boardsim - boot the board's firmware modules on a simulated board"};
  app.require_subcommand(1);
  app.footer(kMainFooter);

  boardsim::RunOptions run;
  CLI::App *runCommand = app.add_subcommand("run", "Boot a board and print the report");
  runCommand->footer(kRunFooter);
  runCommand->add_option("BOARD", run.boardPath, "board file; default: the built-in board")
      ->type_name("FILE");
  runCommand->add_option("--trace", run.tracePath, "also write the JSON Lines trace to FILE")
      ->type_name("FILE");
  runCommand->add_flag("-q,--quiet", run.quiet, "print only the outcome line");
  runCommand->add_flag("--json", run.json, "print only the final state, as JSON");
  runCommand->add_option("--engine", run.engine, "host (default) or image")
      ->check(CLI::IsMember({"host", "image"}))
      ->type_name("ENGINE");
  runCommand
      ->add_option("--images", run.imageDirectory,
                   "image engine: folder of the .efi/.map files; default: the build's")
      ->type_name("DIR");

  std::vector<std::string> boards;
  CLI::App *checkCommand = app.add_subcommand("check", "Check board files without booting them");
  checkCommand->footer(kCheckFooter);
  checkCommand->add_option("BOARD", boards, "board files to check")->required()->type_name("FILE");

  CLI11_PARSE(app, argc, argv);
  if (*runCommand)
    return boardsim::RunCommand(run);
  return boardsim::CheckCommand(boards);
}
