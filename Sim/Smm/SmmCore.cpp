#include "Smm/SmmCore.h"

#include "Core/GuidNames.h"
#include "Core/Images.h"
#include "Core/Simulator.h"
#include "Dxe/DxeCore.h"
#include "Dxe/ProtocolDatabase.h"
#include "Services/PcdDatabase.h"
#include "Smm/SmmState.h"

#include <Guids.h>
#include <PcdTokens.h>
#include <S3SaveTable.h>
#include <SmmHeapList.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace boardsim {
namespace {

constexpr size_t kMaxHeapNodes = 4096;

// The build-time settings of S3SaveSmm that the board says the image was built with.
void ApplyBuildSettings(Simulator &sim, const ImageInstance &image) {
  const S3SaveSmmSettings &settings = sim.board().s3savesmm;
  auto write = [&](const char *symbol, const auto &value) {
    if (void *address = image.Symbol(symbol))
      std::memcpy(address, &value, sizeof value);
  };
  write("DebugPrintEnable", settings.DebugPrintEnable);
  write("BreakpointChannelEnable", settings.BreakpointChannelEnable);
  write("FramedPortAddress", settings.FramedPortAddress);
  write("SerialPortBase", settings.SerialPortBase);
  write("DefaultDebugFilter", settings.DefaultDebugFilter);
}

template <typename T> bool ReadRam(Simulator &sim, uint64_t address, T &out) {
  if (!sim.memory().Readable(address, sizeof(T)))
    return false;
  __builtin_memcpy(&out, reinterpret_cast<const void *>(address), sizeof(T));
  return true;
}

} // namespace

SmmCore::SmmCore(Simulator &sim) : sim_(sim), state_(std::make_unique<State>(sim)) {
  state_->smst = BuildSmst(sim);
}

SmmCore::~SmmCore() = default;

ProtocolDatabase &SmmCore::protocols() {
  return state_->protocols;
}

void SmmCore::Start() {
  ProvideSmmPlatformProtocols(sim_);
  const ServicesConfig &services = sim_.board().services;
  DxeCore &dxe = sim_.dxe();
  if (services.smm_base2_protocol)
    dxe.InstallPlatformProtocol("EFI_SMM_BASE2_PROTOCOL");
  if (services.smm_access2_protocol)
    dxe.InstallPlatformProtocol("EFI_SMM_ACCESS2_PROTOCOL");
  if (services.smm_communication_protocol)
    dxe.InstallPlatformProtocol("EFI_SMM_COMMUNICATION_PROTOCOL");
  if (sim_.board().smm.hob_list) {
    state_->hobList = BuildHobList(sim_);
    dxe.AddConfigurationTable(EFI_HOB_LIST_GUID, state_->hobList);
  }
}

void SmmCore::Dispatch(ImageInstance &image) {
  ApplyBuildSettings(sim_, image);
  sim_.dxe().StartImage(image);
}

void SmmCore::RaiseSmi(const std::string &source) {
  sim_.Emit("smi", [&](Json &e) { e["source"] = source; });
  bool sx = source == "s5_entry";
  // Copy: a handler may register more.
  std::vector<SmiRegistration> handlers = state_->handlers;
  for (size_t i = 0; i < handlers.size(); ++i) {
    const SmiRegistration &h = handlers[i];
    bool matches = sx ? h.source == "sx" && h.type == SxS5 && h.phase == SxEntry
                      : h.source == "power_button" && h.phase == EfiPowerButtonEntry;
    if (!matches)
      continue;
    sim_.images().Call(h.handler, Status(EFI_SUCCESS), reinterpret_cast<EFI_HANDLE>(i + 1),
                       static_cast<CONST VOID *>(nullptr), static_cast<VOID *>(nullptr),
                       static_cast<UINTN *>(nullptr));
  }
}

// Acts as the platform code that builds the S3 save table and points the shared record at it.
void SmmCore::BuildS3Table(const S3TableParams &params) {
  Space space = params.table_memory == TableMemory::Smram ? Space::Smram : Space::Boot;
  auto *table = static_cast<uint8_t *>(sim_.memory().Allocate(space, params.size));
  uint64_t record = sim_.pcd().Peek(PcdS3LibPrivateData);
  if (table) {
    const uint64_t terminatorOffset =
        params.terminator_at_record ? record + __builtin_offsetof(TarnS3LibPrivateData, TableBase) -
                                          reinterpret_cast<uint64_t>(table)
                                    : params.terminator_offset;
    std::memset(table, 0, params.size);
    auto put = [&](uint64_t offset, const auto &value) {
      if (offset + sizeof value <= params.size)
        std::memcpy(table + offset, &value, sizeof value);
    };
    // The marker first: where a board places it inside the header, the header fields win, so the
    // offsets the module reads are the ones the board gave.
    put(params.boundary_offset, params.boundary_value);
    put(0, params.signature);
    put(__builtin_offsetof(S3_TABLE_HEADER, BoundaryOffset), params.boundary_offset);
    put(__builtin_offsetof(S3_TABLE_HEADER, TerminatorOffset), terminatorOffset);
    state_->s3Table = S3TableRecord{reinterpret_cast<uint64_t>(table), space, terminatorOffset,
                                    false, std::nullopt};
    if (record && sim_.memory().InRam(record, sizeof(TarnS3LibPrivateData)))
      reinterpret_cast<TarnS3LibPrivateData *>(record)->TableBase =
          reinterpret_cast<uint64_t>(table);
  }
  sim_.Emit("s3_table_build", [&](Json &e) {
    e["address"] = reinterpret_cast<uint64_t>(table);
    e["size"] = params.size;
    e["space"] = SpaceName(space);
    e["record"] = record ? Json(record) : Json(nullptr);
  });
}

void SmmCore::NoteFree(const void *block) {
  auto &table = state_->s3Table;
  if (!table || table->freed || reinterpret_cast<uint64_t>(block) != table->address)
    return;
  uint16_t mark = 0;
  if (ReadRam(sim_, table->address + table->terminatorOffset, mark))
    table->endMarkAtFree = mark;
  table->freed = true;
}

// The SMI handler for the S3 hand-over: it records the message and looks at the table the
// record points to, reading its end mark.
Status SmmCore::Communicate(void *buffer, uint64_t *size) {
  if (!buffer || !size || *size < __builtin_offsetof(EFI_SMM_COMMUNICATE_HEADER, Data))
    return EFI_INVALID_PARAMETER;
  uint64_t length = *size;
  if (!sim_.memory().InRam(reinterpret_cast<uint64_t>(buffer), length)) {
    sim_.Fault("Communicate buffer outside memory");
    return EFI_INVALID_PARAMETER;
  }
  // An S3 hand-over names the record; the handler follows it to the table's end mark.
  Json endMark = nullptr;
  S3_TABLE_HANDOVER_MESSAGE message{};
  TarnS3LibPrivateData record{};
  uint64_t terminator = 0;
  uint16_t mark = 0;
  if (length >= sizeof message) {
    std::memcpy(&message, buffer, sizeof message);
    if (SameGuid(message.HeaderGuid, S3_SAVE_COMMUNICATE_GUID) &&
        ReadRam(sim_, message.RecordAddress, record) && record.TableBase &&
        ReadRam(sim_, record.TableBase + __builtin_offsetof(S3_TABLE_HEADER, TerminatorOffset),
                terminator) &&
        ReadRam(sim_, record.TableBase + terminator, mark))
      endMark = mark;
  }
  sim_.Emit("communicate", [&](Json &e) {
    e["size"] = length;
    e["bytes"] = HexBytes(static_cast<const uint8_t *>(buffer), length);
    e["end_mark"] = endMark;
  });
  return EFI_SUCCESS;
}

void SmmCore::FillFinal(Json &final) const {
  uint64_t recordAddress = sim_.pcd().Peek(PcdS3LibPrivateData);
  TarnS3LibPrivateData record{};
  Json &s3Record = AddMember(final, "s3_record"); // null unless the record can be read
  if (recordAddress && ReadRam(sim_, recordAddress, record)) {
    s3Record = ObjectWithRoom(4);
    AddMember(s3Record, "address", recordAddress);
    AddMember(s3Record, "locked", record.Locked);
    AddMember(s3Record, "closed", record.Closed);
    AddMember(s3Record, "table_base", record.TableBase);
  }

  Json &s3Table = AddMember(final, "s3_table"); // null until a table was built
  if (const auto &table = state_->s3Table) {
    s3Table = ObjectWithRoom(3);
    AddMember(s3Table, "address", table->address);
    AddMember(s3Table, "freed", table->freed);
    Json &endMark = AddMember(s3Table, "end_mark");
    uint16_t mark = 0;
    if (table->endMarkAtFree)
      endMark = *table->endMarkAtFree;
    else if (ReadRam(sim_, table->address + table->terminatorOffset, mark))
      endMark = mark;
  }

  // The heap list as the first SMM image published it: interfaces that other drivers installed
  // outside SMRAM are passed over, as the SMM images pass them over.
  void *interface = nullptr;
  ProtocolDatabase &protocols = sim_.dxe().protocols();
  for (EFI_HANDLE handle : protocols.HandlesWith(SMM_HEAP_LIST_PROTOCOL_GUID)) {
    void *found = nullptr;
    protocols.Handle(handle, SMM_HEAP_LIST_PROTOCOL_GUID, &found);
    if (sim_.memory().InSmram(reinterpret_cast<uint64_t>(found))) {
      interface = found;
      break;
    }
  }
  if (!interface) {
    AddMember(final, "heap_list");
    return;
  }
  Json list = Json::array();
  auto *head = &static_cast<SMM_HEAP_LIST_PROTOCOL *>(interface)->HeapList;
  LIST_ENTRY *link = head->ForwardLink;
  for (size_t n = 0; link && link != head && n < kMaxHeapNodes; ++n) {
    if (!sim_.memory().InRam(reinterpret_cast<uint64_t>(link), sizeof(SMM_HEAP_NODE)))
      break;
    auto *node = reinterpret_cast<SMM_HEAP_NODE *>(link);
    Json &entry = list.emplace_back(ObjectWithRoom(2));
    AddMember(entry, "handle", node->Header.Handle);
    AddMember(entry, "size", node->Header.Size);
    link = link->ForwardLink;
  }
  AddMember(final, "heap_list", std::move(list));
}

} // namespace boardsim
