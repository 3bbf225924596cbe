// boardsim: boots a simulated board with the firmware modules and shows what they did.
#include "Commands.h"

#include <CLI/CLI.hpp>

namespace {

// CLI11 does not wrap texts: the footers are laid out for an 80-column terminal here.
constexpr const char *kMainFooter =
    R"(The modules BoardInfoPei, BoardInfoDxe and S3SaveSmm run as host builds of the
same sources against simulated PEI, DXE and SMM services and board hardware.
docs/board-file.md describes board files, docs/trace.md the trace.
Run 'boardsim run --help', 'boardsim check --help' or 'boardsim sweep --help'
for each command.)";

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

Examples:
  boardsim run
  boardsim run boards/default.toml --trace default.jsonl
  boardsim run my-board.toml --quiet)";

constexpr const char *kCheckFooter =
    R"(Every problem is listed with its file, line, column, key and a hint, then one
line per file says "ok" or how many errors it has. A board file is never half
applied: 'boardsim run' refuses a file that 'check' faults.

Exit status: 0 every file is usable, 1 at least one has an error.)";

constexpr const char *kSweepFooter =
    R"(The board runs once to find every service and protocol-member call the modules
make (name, image instance, occurrence), then once per call site and status with
that one call failed, in parallel. Each call site gets the results:
  same         completed with the clean run's results
  changed      completed; the final-state keys that differ are listed
  image error  an image's entry returned an error (or passed the status on)
  halted       stopped in an error stop (its codes)
  fault        something the firmware would crash on (docs/trace.md, fault)
  hang, crash  the run did not end, or its process died
Pool addresses count as the same result wherever a block lands.

--statuses: 'default' (one of each error class and one warning), 'all' (every
status a [[fault]] entry may give), or names: EFI_NOT_FOUND,EFI_TIMEOUT

Exit status: 0 done, 1 unusable board or options, 2 a run crashed or hung,
3 the classification differs from the --expect file.

Examples:
  boardsim sweep boards/default.toml
  boardsim sweep my-board.toml --json pinned.json
  boardsim sweep my-board.toml --expect pinned.json)";

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

  std::vector<std::string> boards;
  CLI::App *checkCommand = app.add_subcommand("check", "Check board files without booting them");
  checkCommand->footer(kCheckFooter);
  checkCommand->add_option("BOARD", boards, "board files to check")->required()->type_name("FILE");

  boardsim::SweepOptionsText sweep;
  CLI::App *sweepCommand =
      app.add_subcommand("sweep", "Fail every call the modules make in turn, and classify");
  sweepCommand->footer(kSweepFooter);
  sweepCommand->add_option("BOARD", sweep.boardPath, "board file")->required()->type_name("FILE");
  sweepCommand->add_option("--statuses", sweep.statuses, "statuses each call fails with")
      ->type_name("LIST");
  sweepCommand->add_option("--json", sweep.jsonPath, "write the classification to FILE")
      ->type_name("FILE");
  sweepCommand->add_option("--expect", sweep.expectPath, "compare with a saved classification")
      ->type_name("FILE");
  sweepCommand->add_option("-j,--jobs", sweep.jobs, "runs at a time; default: one per processor");
  sweepCommand->add_option("--timeout", sweep.timeoutSeconds, "seconds before a run is a hang");
  sweepCommand->add_flag("-q,--quiet", sweep.quiet, "print only the total line");

  CLI11_PARSE(app, argc, argv);
  if (*runCommand)
    return boardsim::RunCommand(run);
  if (*sweepCommand)
    return boardsim::SweepCommand(sweep);
  return boardsim::CheckCommand(boards);
}
