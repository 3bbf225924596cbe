#include "Pei/PlatformPpis.h"

#include "Core/Faults.h"
#include "Core/Simulator.h"
#include "Core/Unmodelled.h"
#include "Pei/PeiCore.h"
#include "Devices/Machine.h"
#include "Core/GuidNames.h"
#include "Services/PcdInterfaces.h"
#include "Services/VariableAccess.h"
#include "Services/VariableStore.h"

#include <PlatformPpis.h>

#include <algorithm>
#include <cstring>

namespace boardsim {
namespace {

constexpr char kPcdPpi[] = "PCD_PPI";

Injected MemberFault(const char *member) {
  return Sim().faults().Check(Phase::Pei, member, Sim().CurrentImage());
}

EFI_STATUS EFIAPI GetVariable(CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI *, CONST CHAR16 *name,
                              CONST EFI_GUID *guid, UINT32 *attributes, UINTN *dataSize,
                              VOID *data) {
  if (!name || !guid || !dataSize)
    return EFI_INVALID_PARAMETER;
  Injected injected =
      Sim().faults().Check(Phase::Pei, "EFI_PEI_READ_ONLY_VARIABLE2_PPI.GetVariable",
                           Sim().CurrentImage(), guid, Narrow(ReadChar16String(name)));
  return ReadVariable(Sim(), injected, name, *guid, attributes, dataSize, data);
}

EFI_STATUS EFIAPI Stall(CONST EFI_PEI_SERVICES **, CONST EFI_PEI_STALL_PPI *, UINTN us) {
  return MemberFault("EFI_PEI_STALL_PPI.Stall").Run([&]() -> Status {
    Sim().AdvanceUs(us);
    Sim().Emit("stall", [&](Json &e) { e["us"] = us; });
    return EFI_SUCCESS;
  });
}

// Byte transfers only: the board's host controller model has no block or word protocol.
EFI_STATUS EFIAPI SmbusExecute(CONST EFI_PEI_SMBUS2_PPI *, EFI_SMBUS_DEVICE_ADDRESS address,
                               EFI_SMBUS_DEVICE_COMMAND command, EFI_SMBUS_OPERATION operation,
                               BOOLEAN, UINTN *length, VOID *buffer) {
  return MemberFault("EFI_PEI_SMBUS2_PPI.Execute").Run([&]() -> Status {
    if (operation != EfiSmbusReadByte && operation != EfiSmbusWriteByte)
      return EFI_UNSUPPORTED;
    if (!length || !buffer || *length < 1)
      return EFI_INVALID_PARAMETER;
    uint8_t data = operation == EfiSmbusWriteByte ? *static_cast<uint8_t *>(buffer) : 0;
    const Status status = Sim().machine().SmbusExecute(
        static_cast<uint8_t>(address.SmbusDeviceAddress), static_cast<uint8_t>(command),
        operation == EfiSmbusWriteByte ? SmbusOp::WriteByte : SmbusOp::ReadByte, data);
    if (!IsError(status)) {
      if (operation == EfiSmbusReadByte)
        *static_cast<uint8_t *>(buffer) = data;
      *length = 1;
    }
    return status;
  });
}

EFI_STATUS EFIAPI SendBmcCommand(BMC_TRANSPORT_PPI *, UINT8 netFn, UINT8 lun, UINT8 command,
                                 UINT8 *request, UINT32 requestSize, UINT8 *response,
                                 UINT8 *responseSize) {
  return MemberFault("BMC_TRANSPORT_PPI.SendBmcCommand").Run([&]() -> Status {
    if (!responseSize || (requestSize && !request))
      return EFI_INVALID_PARAMETER;
    uint8_t size = response ? *responseSize : 0;
    const Status status =
        Sim().machine().BmcSend(netFn, lun, command, request, requestSize, response, size);
    *responseSize = size;
    return status;
  });
}

// The source service hands out the board's three segment tables.
EFI_STATUS EFIAPI GetSegmentTables(UINT8 *first, UINT8 *second, UINT8 *third) {
  return MemberFault("BOARD_TABLE_SOURCE_PPI.GetSegmentTables").Run([&]() -> Status {
    if (!first || !second || !third)
      return EFI_INVALID_PARAMETER;
    const BoardTables &tables = Sim().board().board_tables;
    std::memcpy(first, tables.first.data(), kBoardTableSize);
    std::memcpy(second, tables.second.data(), kBoardTableSize);
    std::memcpy(third, tables.third.data(), kBoardTableSize);
    Sim().Emit("table_get", [&](Json &e) {
      e["first"] = HexBytes(first, kBoardTableSize);
      e["second"] = HexBytes(second, kBoardTableSize);
      e["third"] = HexBytes(third, kBoardTableSize);
    });
    return EFI_SUCCESS;
  });
}

// The apply service records what it was given. It works through the PEI services it is passed,
// so anything else there is the caller's fault.
EFI_STATUS EFIAPI ApplySegmentTable(CONST EFI_PEI_SERVICES **services, UINT8 bus, UINT8 address,
                                    UINT8 segment, UINT8 *table, UINT8 count) {
  return MemberFault("BOARD_TABLE_APPLY_PPI.ApplySegmentTable").Run([&]() -> Status {
    if (services != Sim().pei().ServicesTablePointer()) {
      Sim().Fault("BOARD_TABLE_APPLY_PPI.ApplySegmentTable: the first argument is not the PEI "
                  "services pointer");
      return EFI_INVALID_PARAMETER;
    }
    Sim().Emit("table_apply", [&](Json &e) {
      e["bus"] = bus;
      e["address"] = address;
      e["segment"] = segment;
      e["count"] = count;
      e["table"] = table ? Json(HexBytes(table, kBoardTableSize)) : Json(nullptr);
    });
    return EFI_SUCCESS;
  });
}

template <typename T> T *Make(Simulator &sim) {
  return static_cast<T *>(sim.memory().Allocate(Space::Platform, sizeof(T)));
}

} // namespace

PlatformPpiMap BuildPlatformPpis(Simulator &sim) {
  auto *pcd = Make<PCD_PPI>(sim);
  FillPcdTable<kPcdPpi>(*pcd);

  auto *variables = Make<EFI_PEI_READ_ONLY_VARIABLE2_PPI>(sim);
  variables->GetVariable = GetVariable;
  BOARDSIM_UNMODELLED(*variables, NextVariableName);

  auto *stall = Make<EFI_PEI_STALL_PPI>(sim);
  stall->Resolution = 1;
  stall->Stall = Stall;

  auto *smbus = Make<EFI_PEI_SMBUS2_PPI>(sim);
  smbus->Execute = SmbusExecute;
  BOARDSIM_UNMODELLED(*smbus, ArpDevice);
  BOARDSIM_UNMODELLED(*smbus, GetArpMap);
  BOARDSIM_UNMODELLED(*smbus, Notify);

  auto *bmc = Make<BMC_TRANSPORT_PPI>(sim);
  BOARDSIM_UNMODELLED(*bmc, Other0);
  BOARDSIM_UNMODELLED(*bmc, Other1);
  BOARDSIM_UNMODELLED(*bmc, Other2);
  bmc->SendBmcCommand = SendBmcCommand;

  auto *source = Make<BOARD_TABLE_SOURCE_PPI>(sim);
  BOARDSIM_UNMODELLED(*source, Other0);
  source->GetSegmentTables = GetSegmentTables;

  auto *apply = Make<BOARD_TABLE_APPLY_PPI>(sim);
  apply->ApplySegmentTable = ApplySegmentTable;

  return {
      {"PCD_PPI", pcd},
      {"EFI_PEI_READ_ONLY_VARIABLE2_PPI", variables},
      {"EFI_PEI_STALL_PPI", stall},
      {"EFI_PEI_SMBUS2_PPI", smbus},
      {"BMC_TRANSPORT_PPI", bmc},
      {"BOARD_TABLE_SOURCE_PPI", source},
      {"BOARD_TABLE_APPLY_PPI", apply},
  };
}

} // namespace boardsim
