#include "BoardPcdValues.h"
#include "BoardSmbus.h"
#include "PcdWrite.h"
#include "PpiArrivalCallbacks.h"
#include "PpiLookup.h"
#include <Guids.h>
#include <PcdTokens.h>
#include <PlatformPpis.h>

namespace {

constexpr UINT8 ATTEMPTS = 10;
constexpr UINTN BMC_RETRY_STALL_US = 100000;

// IPMI Application NetFn, Master Write-Read command (IPMI 2.0 section 22.11).
constexpr UINT8 IPMI_NETFN_APP = 0x06;
constexpr UINT8 IPMI_BMC_LUN = 0;
constexpr UINT8 IPMI_MASTER_WRITE_READ = 0x52;
constexpr UINT8 BMC_RESPONSE_CAPACITY = 10;
// A ready BMC returns the completion code alone.
constexpr UINT8 BMC_READY_RESPONSE_SIZE = 1;

constexpr UINT32 BOARD_INPUT_WORD_DEFAULT = 0x247;
constexpr UINT8 BOARD_INPUT_FIELD_DEFAULT = 2;

// The BMC owns the selector until it answers a write to it over its private bus; give it up to
// ATTEMPTS tries, then probe anyway.
VOID WaitForBmc(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_PEI_STALL_PPI *Stall,
                BMC_TRANSPORT_PPI *Bmc) {
  // Bus, slave address, read count, then the byte to write: release the selector.
  UINT8 Request[] = {BMC_PRIVATE_BUS, BMC_SELECTOR_ADDRESS, 1, SELECTOR_RELEASED};
  UINT8 Response[BMC_RESPONSE_CAPACITY];
  for (UINT8 Attempt = 0; Attempt < ATTEMPTS; ++Attempt) {
    // The transport overwrites the size with what it returned; a short answer must not shrink
    // the next attempt's capacity.
    UINT8 ResponseSize = sizeof(Response);
    EFI_STATUS Status =
        Bmc->SendBmcCommand(Bmc, IPMI_NETFN_APP, IPMI_BMC_LUN, IPMI_MASTER_WRITE_READ, Request,
                            sizeof(Request), Response, &ResponseSize);
    if (!EFI_ERROR(Status) && ResponseSize == BMC_READY_RESPONSE_SIZE) {
      return;
    }
    Stall->Stall(PeiServices, Stall, BMC_RETRY_STALL_US);
  }
}

// Returns the status of the last SMBus transfer; the PCDs hold the defaults unless it succeeded.
EFI_STATUS ProbeBoardInputs(CONST EFI_PEI_SMBUS2_PPI *Smbus) {
  EFI_STATUS Status;
  for (UINT8 Attempt = 0; Attempt < ATTEMPTS; ++Attempt) {
    UINT8 X;
    UINT8 Y;
    UINT8 Z;
    Status = SmbusWriteByte(Smbus, SMBUS_BUS_SELECTOR, 0, SELECTOR_BOARD_INPUTS);
    if (EFI_ERROR(Status)) {
      continue;
    }
    Status = SmbusReadByte(Smbus, SMBUS_BOARD_INPUT_LOW, 0, &X);
    if (EFI_ERROR(Status)) {
      continue;
    }
    Status = SmbusReadByte(Smbus, SMBUS_BOARD_INPUT_HIGH, 0, &Y);
    if (EFI_ERROR(Status)) {
      continue;
    }
    WritePcd32(PcdBoardInputWord, BoardInputWord(X, Y));
    Status = SmbusReadByte(Smbus, SMBUS_BOARD_INPUT_FIELD, 0, &Z);
    if (EFI_ERROR(Status)) {
      continue;
    }
    WritePcd8(PcdBoardInputField, BoardInputField(Z));
    return Status;
  }
  WritePcd32(PcdBoardInputWord, BOARD_INPUT_WORD_DEFAULT);
  WritePcd8(PcdBoardInputField, BOARD_INPUT_FIELD_DEFAULT);
  return Status;
}

} // namespace

EFI_STATUS EFIAPI OnSmbusArrival(EFI_PEI_SERVICES **PeiServices, EFI_PEI_NOTIFY_DESCRIPTOR *,
                                 VOID *) {
  auto Services = const_cast<CONST EFI_PEI_SERVICES **>(PeiServices);
  EFI_PEI_SMBUS2_PPI *Smbus;
  EFI_PEI_STALL_PPI *Stall;
  BMC_TRANSPORT_PPI *Bmc;
  EFI_STATUS Status = LocateFirstPpi(Services, EFI_PEI_SMBUS2_PPI_GUID, &Smbus);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = LocateFirstPpi(Services, EFI_PEI_STALL_PPI_GUID, &Stall);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = LocateFirstPpi(Services, BMC_TRANSPORT_PPI_GUID, &Bmc);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  WaitForBmc(Services, Stall, Bmc);
  return ProbeBoardInputs(Smbus);
}
