#include "Pei/PeiCore.h"

#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Pei/PlatformPpis.h"
#include "Pei/PpiDatabase.h"
#include "Services/CallBuffers.h"

#include <BoardInfoPpi.h>
#include <Guids.h>

#include <cstring>

namespace boardsim {

void FillPeiServices(EFI_PEI_SERVICES &services); // PeiServices.cpp

struct PeiCore::State {
  explicit State(Simulator &sim) : ppis(sim) {}
  PpiDatabase ppis;
  EFI_PEI_SERVICES *services = nullptr;
  // The location a PEIM's GetPeiServicesTablePointer reads (on IA32, just below the IDT).
  const EFI_PEI_SERVICES **servicesPointer = nullptr;
  PlatformPpiMap models;
};

PeiCore::PeiCore(Simulator &sim) : sim_(sim), state_(std::make_unique<State>(sim)) {
  Memory &memory = sim.memory();
  state_->services =
      static_cast<EFI_PEI_SERVICES *>(memory.Allocate(Space::Platform, sizeof(EFI_PEI_SERVICES)));
  FillPeiServices(*state_->services);
  state_->servicesPointer = static_cast<const EFI_PEI_SERVICES **>(
      memory.Allocate(Space::Platform, sizeof(EFI_PEI_SERVICES *)));
  *state_->servicesPointer = state_->services;
  state_->ppis.SetServices(state_->servicesPointer);
  state_->models = BuildPlatformPpis(sim);
}

PeiCore::~PeiCore() = default;

const void *PeiCore::ServicesTablePointer() const {
  return state_->servicesPointer;
}
PpiDatabase &PeiCore::ppis() {
  return state_->ppis;
}
const PlatformPpiMap &PeiCore::PlatformPpiModels() const {
  return state_->models;
}

void PeiCore::Start() {
  const ServicesConfig &services = sim_.board().services;
  const std::pair<bool, const char *> kStartPpis[] = {
      {services.pcd_ppi, "PCD_PPI"},
      {services.read_only_variable2_ppi, "EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
      {services.stall_ppi, "EFI_PEI_STALL_PPI"},
      {services.bmc_transport_ppi, "BMC_TRANSPORT_PPI"},
  };
  for (auto [present, name] : kStartPpis)
    if (present)
      InstallPlatformPpi(name);
}

// Each installation gets a descriptor of its own in platform memory, as a PEIM's would be.
void PeiCore::InstallPlatformPpi(std::string_view name) {
  auto guid = GuidFromText(name);
  auto model = state_->models.find(name);
  if (!guid || model == state_->models.end()) {
    sim_.Fault("no PPI model named " + std::string(name));
    return;
  }
  Memory &memory = sim_.memory();
  auto *guidCopy = static_cast<EFI_GUID *>(memory.Allocate(Space::Platform, sizeof(EFI_GUID)));
  *guidCopy = *guid;
  auto *descriptor = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(
      memory.Allocate(Space::Platform, sizeof(EFI_PEI_PPI_DESCRIPTOR)));
  *descriptor = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, guidCopy,
                 model->second};
  state_->ppis.Install(descriptor);
}

void PeiCore::Dispatch(ImageInstance &image) {
  auto entry = reinterpret_cast<EFI_PEIM_ENTRY_POINT2>(image.Entry());
  Status status =
      sim_.images().Call(entry, Status(EFI_LOAD_ERROR), static_cast<EFI_PEI_FILE_HANDLE>(&image),
                         state_->servicesPointer);
  image.entryStatus = status;
  sim_.Emit("entry", [&](Json &e) {
    e["image"] = image.name;
    e["status"] = StatusName(status);
  });
}

namespace {

enum class EntryKind { Boolean, Status, Value, Reserved };
constexpr EntryKind kEntryKinds[] = {
    EntryKind::Boolean,  EntryKind::Reserved, EntryKind::Reserved, EntryKind::Status,
    EntryKind::Boolean,  EntryKind::Reserved, EntryKind::Status,   EntryKind::Value,
    EntryKind::Reserved, EntryKind::Reserved,
};
static_assert(sizeof(kEntryKinds) / sizeof(kEntryKinds[0]) ==
              sizeof(BOARD_INFO_PPI) / sizeof(void *));

} // namespace

void PeiCore::CallBoardInfoPpi(const BootStep &step) {
  std::string target = "BOARD_INFO_PPI." + std::to_string(step.slot);
  CallBuffers buffers(sim_, step, kSlotBufferDefaultSize);
  uint8_t *buffer1 = buffers.first(), *buffer2 = buffers.second();
  sim_.Emit("call", [&](Json &e) { e["target"] = target; });

  void *ppi = nullptr;
  Status located = state_->ppis.Locate(BOARD_INFO_PPI_GUID, 0, nullptr, &ppi);
  sim_.Emit("ppi_locate", [&](Json &e) {
    e["guid"] = GuidText(BOARD_INFO_PPI_GUID);
    e["name"] = "BOARD_INFO_PPI";
    e["status"] = StatusName(located);
  });
  Json value = nullptr, status = nullptr;
  auto *table = static_cast<BOARD_INFO_PPI *>(ppi);
  if (!table) {
    sim_.Fault(target + ": BOARD_INFO_PPI is not installed");
  } else if (step.slot >= std::size(kEntryKinds)) {
    sim_.Fault(target + ": no such entry");
  } else {
    Images &images = sim_.images();
    // The table is the module's own: its entries are pointers of the module's width.
    const ImageInstance *owner = images.OwnerOf(table);
    const size_t width = owner ? owner->PointerSize() : sizeof(void *);
    uint64_t entryAddress = 0;
    std::memcpy(&entryAddress, reinterpret_cast<const uint8_t *>(table) + step.slot * width, width);
    void *entry = reinterpret_cast<void *>(entryAddress);
    const EFI_PEI_SERVICES **services = state_->servicesPointer;
    switch (kEntryKinds[step.slot]) {
    case EntryKind::Boolean:
      value =
          images.Call(reinterpret_cast<BOARD_INFO_PPI_BOOLEAN_QUERY>(entry), BOOLEAN(0), services,
                      table, static_cast<VOID *>(buffer1), static_cast<VOID *>(buffer2));
      break;
    case EntryKind::Status: {
      Status result =
          images.Call(reinterpret_cast<BOARD_INFO_PPI_STATUS_QUERY>(entry), Status(EFI_UNSUPPORTED),
                      services, table, static_cast<VOID *>(buffer1), static_cast<VOID *>(buffer2));
      value = result;
      status = StatusName(result);
      break;
    }
    case EntryKind::Value:
      value = images.Call(reinterpret_cast<BOARD_INFO_PPI_VALUE_QUERY>(entry), UINT32(0), services,
                          table, static_cast<VOID *>(buffer1), static_cast<VOID *>(buffer2));
      break;
    case EntryKind::Reserved:
      images.CallVoid(reinterpret_cast<void (*)()>(entry));
      break;
    }
  }
  buffers.CheckGuards(sim_, target);
  sim_.Emit("return", [&](Json &e) {
    e["target"] = target;
    e["value"] = value;
    e["status"] = status;
    buffers.Report(e);
  });
}

} // namespace boardsim
