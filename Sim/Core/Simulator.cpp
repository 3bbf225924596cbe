#include "Core/Simulator.h"

#include "Board/MemoryMap.h"

#include "Core/Faults.h"
#include "Core/HostFaultTrap.h"
#include "Core/Images.h"
#include "Devices/Machine.h"
#include "Dxe/DxeCore.h"
#include "Engine/ImageEngine.h"
#include "Pei/PeiCore.h"
#include "Services/PcdDatabase.h"
#include "Services/VariableStore.h"
#include "Smm/SmmCore.h"

#include <Guids.h>
#include <PcdTokens.h>
#include <SetupVariable.h>

namespace boardsim {
namespace {

constexpr uint32_t kSetupAttributes = 0x7; // non-volatile, boot-service and runtime access
constexpr size_t kCommunicationBufferSize = 64;

Phase StepPhase(const BootStep &step) {
  switch (step.action) {
  case BootAction::PeiInstall:
    return Phase::Pei;
  case BootAction::Dispatch: {
    auto kind = KindOfModule(step.value);
    return kind == ModuleKind::Pei ? Phase::Pei : kind == ModuleKind::Smm ? Phase::Smm : Phase::Dxe;
  }
  case BootAction::Call:
    return step.call_target == CallTarget::BoardInfoPpiEntry ? Phase::Pei : Phase::Dxe;
  case BootAction::Smi:
    return Phase::Smm;
  default:
    return Phase::Dxe;
  }
}

// Board memory for this board: its SMRAM, and room kept at the top of each kind's pool for the
// image areas.
Memory::Layout MemoryLayoutFor(const SmmConfig &smm) {
  Memory::Layout layout{smm.smram_size, {}};
  for (const SmramRange &range : smm.smram_ranges)
    layout.moreSmram.push_back({range.base, range.size});
  for (ModuleKind kind : {ModuleKind::Pei, ModuleKind::Dxe, ModuleKind::Smm})
    layout.kept[static_cast<int>(LayoutOf(kind).space)] = ImageAreaSize(kind);
  return layout;
}

} // namespace

const char *OutcomeName(Outcome outcome) {
  static constexpr const char *kNames[] = {"completed", "halted", "crashed"};
  return kNames[static_cast<int>(outcome)];
}

class Simulator::CurrentScope {
public:
  explicit CurrentScope(Simulator *sim) : previous_(current_) { current_ = sim; }
  ~CurrentScope() { current_ = previous_; }

private:
  Simulator *previous_;
};

Simulator::Simulator(const Board &board, SimOptions options)
    : Simulator(std::nullopt, &board, std::move(options)) {}

Simulator::Simulator(Board &&board, SimOptions options)
    : Simulator(std::move(board), nullptr, std::move(options)) {}

Simulator::Simulator(std::optional<Board> kept, const Board *board, SimOptions options)
    : kept_(std::move(kept)), board_(kept_ ? *kept_ : *board),
      memory_(MemoryLayoutFor(board_.smm)) {
  CurrentScope scope(this);
  trace_.Capture(options.captureTrace);
  trace_.StreamTo(options.traceOut);
  faults_ = std::make_unique<Faults>(
      board_.faults, [this](const std::string &call, const std::string &target, Status status) {
        Emit("injected", [&](Json &e) {
          e["call"] = call;
          e["target"] = target.empty() ? Json(nullptr) : Json(target);
          e["status"] = StatusName(status);
        });
      });
  pcd_ = std::make_unique<PcdDatabase>(*this, board_.pcd);
  if (board_.pcd.s3_communication_buffer != BoardPcd::BufferSource::Value) {
    const Space space = board_.pcd.s3_communication_buffer == BoardPcd::BufferSource::Smram
                            ? Space::Smram
                            : Space::Platform;
    pcd_->Poke(PcdS3CommunicationBuffer,
               reinterpret_cast<uint64_t>(memory_.Allocate(space, kCommunicationBufferSize)));
  }
  variables_ = std::make_unique<VariableStore>();
  if (board_.setup.present)
    variables_->Set(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, board_.setup.data, kSetupAttributes);
  machine_ = std::make_unique<Machine>(*this, board_);
  if (options.engine == Engine::Image)
    engine_ = std::make_unique<ImageEngine>(*this, options.imageDirectory.empty()
                                                       ? ImageEngine::DefaultDirectory()
                                                       : options.imageDirectory);
  images_ = std::make_unique<Images>(*this, engine_.get());
  pei_ = std::make_unique<PeiCore>(*this);
  dxe_ = std::make_unique<DxeCore>(*this);
  smm_ = std::make_unique<SmmCore>(*this);
}

Simulator::~Simulator() {
  CurrentScope scope(this);
  smm_.reset();
  dxe_.reset();
  pei_.reset();
  images_.reset();
  engine_.reset();
}

Phase Simulator::CurrentPhase() const {
  ImageInstance *running = images_ ? images_->Running() : nullptr;
  return running ? running->phase() : stepPhase_;
}

std::string_view Simulator::CurrentImage() const {
  ImageInstance *running = images_ ? images_->Running() : nullptr;
  return running ? std::string_view(running->name) : "platform";
}

const ImageInstance *Simulator::OwnerOf(const void *code) const {
  return images_ ? images_->OwnerOf(code) : nullptr;
}
Phase Simulator::PhaseOf(const ImageInstance &image) {
  return image.phase();
}
const std::string &Simulator::NameOf(const ImageInstance &image) {
  return image.name;
}

void Simulator::Fault(const std::string &what) {
  Emit("fault", [&](Json &e) { e["what"] = what; });
}

void Simulator::Halt() {
  throw RunHalted{};
}

uint64_t Simulator::TraceAddress(const void *address) const {
  const auto at = reinterpret_cast<uintptr_t>(address);
  if (!address || memory_.InRam(at, 1))
    return at;
  // Relative to the call into the module, so that only the module's own frames count.
  const uintptr_t call = TrappedCallAbove(at);
  if (call && call - at < kHostStackStandInSize)
    return kHostStackStandInTop - (call - at);
  return at;
}

RunResult Simulator::Run() {
  CurrentScope scope(this);
  Outcome outcome = Outcome::Completed;
  try {
    SetStepPhase(Phase::Pei);
    pei_->Start();
    bool dxeStarted = false;
    for (const BootStep &step : board_.boot) {
      Phase phase = StepPhase(step);
      if (!dxeStarted && phase != Phase::Pei) {
        SetStepPhase(Phase::Dxe);
        dxe_->Start();
        smm_->Start();
        dxeStarted = true;
      }
      SetStepPhase(phase);
      RunStep(step);
    }
  } catch (const RunHalted &) {
    outcome = Outcome::Halted;
  } catch (const RunCrashed &) {
    outcome = Outcome::Crashed;
  }
  trace_.Finish();
  RunResult result{outcome, Final(outcome)};
  if (trace_.On()) {
    Json event = result.final;
    trace_.Record(std::move(event));
  }
  return result;
}

void Simulator::RunStep(const BootStep &step) {
  switch (step.action) {
  case BootAction::PeiInstall:
    pei_->InstallPlatformPpi(step.value);
    break;
  case BootAction::Dispatch: {
    ImageInstance &image = images_->Load(step.value);
    if (image.kind == ModuleKind::Pei)
      pei_->Dispatch(image);
    else if (image.kind == ModuleKind::Smm)
      smm_->Dispatch(image);
    else
      dxe_->StartImage(image);
    break;
  }
  case BootAction::DxeInstall:
    dxe_->InstallPlatformProtocol(step.value);
    break;
  case BootAction::Call:
    if (step.call_target == CallTarget::BoardInfoPpiEntry)
      pei_->CallBoardInfoPpi(step);
    else
      dxe_->CallBoardInfo(step);
    break;
  case BootAction::BuildS3Table:
    smm_->BuildS3Table(step.s3_table);
    break;
  case BootAction::Signal:
    dxe_->SignalReadyToBoot();
    break;
  case BootAction::Smi:
    smm_->RaiseSmi(step.value);
    break;
  }
}

Json Simulator::Final(Outcome outcome) {
  // Room for all of the members below (about 20) and a few more.
  Json final = ObjectWithRoom(32);
  AddMember(final, "seq", trace_.Count());
  AddMember(final, "t_us", nowUs_);
  AddMember(final, "phase", PhaseName(stepPhase_));
  AddMember(final, "image", "platform");
  AddMember(final, "ev", "final");
  AddMember(final, "outcome", OutcomeName(outcome));
  AddMember(final, "pcd", pcd_->Final());
  machine_->FillFinal(final);
  smm_->FillFinal(final);
  AddMember(final, "images", images_->Final());
  return final;
}

} // namespace boardsim
