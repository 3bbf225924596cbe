// boardsim: boots a simulated board with the firmware modules and shows what they did.
#include "Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <unistd.h>

namespace {

// CLI11 does not wrap texts: the footers are laid out for an 80-column terminal here.
constexpr const char *kMainFooter =
    R"(The modules BoardInfoPei, BoardInfoDxe and S3SaveSmm run as host builds of the
same sources against simulated PEI, DXE and SMM services and board hardware;
with 'run --engine image' BoardInfoPei.efi, BoardInfoDxe.efi and S3SaveSmm.efi
run themselves in an emulator. docs/board-file.md describes board files,
docs/trace.md the trace, docs/image-engine.md the image engine, and
docs/testing.md how to test a board with expectations and 'boardsim test'.
Run 'boardsim run --help', 'boardsim check --help', 'boardsim test --help' or
'boardsim sweep --help' for each command; docs/fuzzing.md describes sweeps.

Exit status of every command: 4 when the command line itself is wrong (an
unknown option, a missing argument); the others are listed per command.)";

constexpr const char *kRunFooter =
    R"(The report shows a timeline of the boot, then (when they have something to
say) the images, faults, PCD writes, the PCI walk with each NIC's rule and MAC
address, the setup items marked, host registers, SMBus and IPMI traffic, the
S3 hand-over, the SMRAM heap list, debug output, POST codes and error stops,
and the outcome. --quiet and --json replace it; --json wins if both are given.

A board with [[expect]] entries is checked after the run: each failed
expectation is listed with the value expected and the value the run gave.

--html writes the run as a page to open in a browser: the expectations, a
picture of the boot, the report's sections as tables and the trace, to filter
by phase, image and event kind. --summary writes the same as JSON.

Exit status:
  0  the boot script ran to its end (with [[expect]]: every expectation held)
  1  the board file is unusable, or the module images are missing
     (BOARDSIM_MODULE_DIR names the folder that holds the .so files)
  2  the run halted in an error stop (boards without [[expect]] only)
  3  an expectation failed
  4  the command line is wrong
  5  the run crashed: module code took a processor fault (the fault event says
     where; boards without [[expect]] only)

Examples:
  boardsim run
  boardsim run boards/default.toml --trace default.jsonl
  boardsim run my-board.toml --quiet
  boardsim run my-board.toml --html my-board.html
  boardsim run boards/smm-normal.toml --engine image
  boardsim run - < my-board.toml)";

constexpr const char *kCheckFooter =
    R"(Every problem is listed with its file, line, column, key and a hint, then one
line per file says "ok" or how many errors it has. A board file is never half
applied: 'boardsim run' refuses a file that 'check' faults.

Exit status: 0 every file is usable (warnings allowed), 1 at least one has an
error, 4 the command line is wrong.)";

constexpr const char *kTestFooter =
    R"(Runs every board file given, and every *.toml file in the folders given, each
as 'boardsim run FILE --quiet' (with --engine and --images as given) in a
process of its own, as many at a time as the machine has cores. A board passes
when its run exits with status 0: every [[expect]] entry held (or, without
expectations, the boot ran to its end).
One line per board, then the output of each failed board, then the total
"N passed, M failed".

--html DIR writes the suite's log: DIR/index.html lists the boards, failures
first, and links each board's page (see 'boardsim run --help'); --json FILE
writes the same data as JSON for other tools.

Exit status: 0 every board passed, 1 no board file was found or the JUnit
file or the log cannot be written, 3 at least one board failed, 4 the command
line is wrong.

Examples:
  boardsim test boards/
  boardsim test boards/ my-boards/ --junit boardsim-junit.xml
  boardsim test boards/ --engine image
  boardsim test boards/ --html boardsim-log)";

// The running program, which 'test' starts once per board.
std::string SelfPath(const char *argv0) {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : argv0;
}

// The command line as a shell would take it back: words with anything but safe characters
// are quoted.
std::string CommandLine(int argc, char **argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string word = i == 0 ? "boardsim" : argv[i];
    const bool safe =
        !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                "0123456789_-./=:,+@%") == std::string::npos;
    std::string quoted = "'";
    for (char c : word)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += (i ? " " : "") + (safe ? word : quoted + "'");
  }
  return line;
}

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
  app.set_version_flag("--version", "boardsim " BOARDSIM_VERSION);

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
  runCommand->add_option("--html", run.htmlPath, "also write the run as an HTML page to FILE")
      ->type_name("FILE");
  runCommand->add_option("--summary", run.summaryPath, "also write the page's data as JSON to FILE")
      ->type_name("FILE");
  // Set by 'test' for the pages of its log: the suite page to link back to.
  runCommand->add_option("--suite-page", run.suitePage)->group("");

  std::vector<std::string> boards;
  CLI::App *checkCommand = app.add_subcommand("check", "Check board files without booting them");
  checkCommand->footer(kCheckFooter);
  checkCommand->add_option("BOARD", boards, "board files to check")->required()->type_name("FILE");

  boardsim::TestOptions test;
  CLI::App *testCommand =
      app.add_subcommand("test", "Run board files and folders of them as a test suite");
  testCommand->footer(kTestFooter);
  testCommand->add_option("PATH", test.paths, "board files and folders")
      ->required()
      ->type_name("PATH");
  testCommand->add_option("--junit", test.junitPath, "also write a JUnit XML report to FILE")
      ->type_name("FILE");
  testCommand->add_option("-j,--jobs", test.jobs, "boards run at a time; default: one per core")
      ->type_name("N");
  testCommand->add_option("--engine", test.engine, "host (default) or image, for every board")
      ->check(CLI::IsMember({"host", "image"}))
      ->type_name("ENGINE");
  testCommand
      ->add_option("--images", test.imageDirectory,
                   "image engine: folder of the .efi/.map files; default: the build's")
      ->type_name("DIR");
  testCommand->add_option("--html", test.htmlDirectory, "also write an HTML log to the folder DIR")
      ->type_name("DIR");
  testCommand->add_option("--json", test.jsonPath, "also write the log's data as JSON to FILE")
      ->type_name("FILE");

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

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    const CLI::App *command = *runCommand     ? runCommand
                              : *checkCommand ? checkCommand
                              : *testCommand  ? testCommand
                              : *sweepCommand ? sweepCommand
                                              : nullptr;
    std::cerr << "boardsim: " << e.what() << "\n  run 'boardsim "
              << (command ? command->get_name() + " " : "") << "--help' for the usage\n";
    return boardsim::kExitUsage;
  }
  if (*runCommand)
    return boardsim::RunCommand(run);
  if (*testCommand) {
    test.commandLine = CommandLine(argc, argv);
    return boardsim::TestCommand(test, SelfPath(argv[0]));
  }
  if (*sweepCommand)
    return boardsim::SweepCommand(sweep);
  return boardsim::CheckCommand(boards);
}
