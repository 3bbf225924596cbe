// One simulated boot of one board: the firmware services, the device models, the image
// instances, and the trace they all report to.
#pragma once
#include "Board/Board.h"
#include "Core/Memory.h"
#include "Core/Status.h"
#include "Core/Trace.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

class Machine;
class Images;
class Faults;
class PcdDatabase;
class VariableStore;
class PeiCore;
class DxeCore;
class SmmCore;
class ImageEngine;
struct ImageInstance;

// Thrown to end a run whose processor is stopped for good (an error stop nobody released). It
// unwinds through module code back to the boot-script runner.
struct RunHalted {};
// Thrown to end a run whose image code faulted in the processor (image engine): the `fault`
// event says where; nothing can safely go on.
struct RunCrashed {};

enum class Outcome { Completed, Halted, Crashed };
const char *OutcomeName(Outcome outcome);

// Which code runs the modules: their host builds, or the firmware images themselves.
enum class Engine { Host, Image };

struct RunResult {
  Outcome outcome = Outcome::Completed;
  Json final; // the "final" event
};

struct SimOptions {
  bool captureTrace = false;        // keep every event in memory
  std::ostream *traceOut = nullptr; // and/or stream them as JSON Lines
  Engine engine = Engine::Host;
  std::string imageDirectory; // image engine: the folder of the .efi files ("" = the build's)
};

class Simulator {
public:
  // Runs `board` where it is, without a copy: the board must outlive the simulator.
  Simulator(const Board &board, SimOptions options = {});
  // Keeps a board given as a temporary for as long as it runs.
  Simulator(Board &&board, SimOptions options = {});
  ~Simulator();
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Runs the boot script to the end (or to a halt) and returns the outcome and the final state.
  RunResult Run();

  const Board &board() const { return board_; }
  Trace &trace() { return trace_; }
  Memory &memory() { return memory_; }
  Machine &machine() { return *machine_; }
  Images &images() { return *images_; }
  ImageEngine *engine() { return engine_.get(); }
  Faults &faults() { return *faults_; }
  PcdDatabase &pcd() { return *pcd_; }
  VariableStore &variables() { return *variables_; }
  PeiCore &pei() { return *pei_; }
  DxeCore &dxe() { return *dxe_; }
  SmmCore &smm() { return *smm_; }

  // Simulated time since power-on.
  uint64_t NowUs() const { return nowUs_; }
  void AdvanceUs(uint64_t us) { nowUs_ += us; }

  // The phase and image that the next event is reported for: the image whose code is running,
  // or "platform" in the phase of the current boot step.
  Phase CurrentPhase() const;
  // The name lives as long as the image instance (or is a literal).
  std::string_view CurrentImage() const;
  void SetStepPhase(Phase phase) { stepPhase_ = phase; }

  template <typename Fill> void Emit(std::string_view ev, Fill &&fill) {
    if (trace_.On())
      trace_.Emit(ev, nowUs_, CurrentPhase(), CurrentImage(), fill);
  }
  void Emit(std::string_view ev) {
    Emit(ev, [](Json &) {});
  }
  // An event reported for the image that owns `code` (a callback about to run or just returned).
  template <typename Fill> void EmitFor(const void *code, std::string_view ev, Fill &&fill) {
    if (!trace_.On())
      return;
    const ImageInstance *owner = OwnerOf(code);
    if (!owner)
      return Emit(ev, fill);
    trace_.Emit(ev, nowUs_, PhaseOf(*owner), NameOf(*owner), fill);
  }
  // Something the firmware would crash on; the run goes on where it safely can.
  void Fault(const std::string &what);
  // An address as the trace reports it. Board memory is at fixed addresses already; module memory
  // of the host engine (a shared object's data, the process stack) lies wherever the process put
  // it, and is reported at a fixed stand-in so that two runs compare byte for byte.
  uint64_t TraceAddress(const void *address) const;
  [[noreturn]] void Halt();

  // The simulator whose run is in progress on this thread: firmware tables call plain functions,
  // which find their simulator here (every hardware access of module code does).
  static Simulator &Current() { return *current_; }

private:
  // Makes a simulator the current one for as long as the scope lives.
  class CurrentScope;
  // `board`, or the board kept in `kept` when that holds one.
  Simulator(std::optional<Board> kept, const Board *board, SimOptions options);
  static inline thread_local Simulator *current_ = nullptr;

  const ImageInstance *OwnerOf(const void *code) const;
  static Phase PhaseOf(const ImageInstance &image);
  static const std::string &NameOf(const ImageInstance &image);
  void RunStep(const BootStep &step);
  Json Final(Outcome outcome);

  std::optional<Board> kept_; // a board the simulator was given as a temporary
  const Board &board_;
  Trace trace_;
  Memory memory_;
  uint64_t nowUs_ = 0;
  Phase stepPhase_ = Phase::Pei;
  std::unique_ptr<Faults> faults_;
  std::unique_ptr<PcdDatabase> pcd_;
  std::unique_ptr<VariableStore> variables_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<ImageEngine> engine_;
  std::unique_ptr<Images> images_;
  std::unique_ptr<PeiCore> pei_;
  std::unique_ptr<DxeCore> dxe_;
  std::unique_ptr<SmmCore> smm_;
  Simulator *previous_ = nullptr;
};

// The current simulator, as the service functions that firmware tables point to reach it.
inline Simulator &Sim() {
  return Simulator::Current();
}

} // namespace boardsim
