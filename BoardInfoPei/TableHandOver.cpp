#include "BoardPcdValues.h"
#include "BoardSmbus.h"
#include "PcdWrite.h"
#include "PpiArrivalCallbacks.h"
#include "PpiLookup.h"
#include <Guids.h>
#include <PcdTokens.h>
#include <PlatformPpis.h>

namespace {

constexpr UINTN SEGMENT_TABLE_COUNT = 3;
// Segment value paired with each table, in the order GetSegmentTables fills them.
constexpr UINT8 SEGMENT_VALUES[SEGMENT_TABLE_COUNT] = {0x08, 0x04, 0x02};
constexpr UINT8 SEGMENT_TABLE_APPLY_COUNT = 5;

constexpr UINT8 DEVICE_CODE_REGISTER = 7;
constexpr UINT8 DEVICE_CODE_EXTENDED_REGISTER = 5;

VOID HandOverSegmentTables(CONST EFI_PEI_SERVICES **PeiServices, BOARD_TABLE_SOURCE_PPI *Source) {
  UINT8 Tables[SEGMENT_TABLE_COUNT][BOARD_SEGMENT_TABLE_SIZE];
  Source->GetSegmentTables(Tables[0], Tables[1], Tables[2]);
  BOARD_TABLE_APPLY_PPI *Apply;
  if (EFI_ERROR(LocateFirstPpi(PeiServices, BOARD_TABLE_APPLY_PPI_GUID, &Apply))) {
    return;
  }
  for (UINTN Index = 0; Index < SEGMENT_TABLE_COUNT; ++Index) {
    Apply->ApplySegmentTable(PeiServices, BMC_PRIVATE_BUS, BMC_SELECTOR_ADDRESS,
                             SEGMENT_VALUES[Index], Tables[Index], SEGMENT_TABLE_APPLY_COUNT);
  }
}

// Leaves token 232 alone when the selector or the device does not answer.
VOID PublishDeviceCode(CONST EFI_PEI_SMBUS2_PPI *Smbus) {
  UINT8 Register7;
  UINT8 Register5 = 0;
  if (EFI_ERROR(SmbusWriteByte(Smbus, SMBUS_BUS_SELECTOR, 0, SELECTOR_DEVICE_CODE)) ||
      EFI_ERROR(SmbusReadByte(Smbus, SMBUS_DEVICE_CODE, DEVICE_CODE_REGISTER, &Register7))) {
    return;
  }
  if (Register7 == DEVICE_CODE_IN_REGISTER5 &&
      EFI_ERROR(
          SmbusReadByte(Smbus, SMBUS_DEVICE_CODE, DEVICE_CODE_EXTENDED_REGISTER, &Register5))) {
    return;
  }
  WritePcd32(PcdBoardDeviceCode, BoardDeviceCode(Register7, Register5));
}

} // namespace

EFI_STATUS EFIAPI OnTableApplyArrival(EFI_PEI_SERVICES **PeiServices, EFI_PEI_NOTIFY_DESCRIPTOR *,
                                      VOID *) {
  auto Services = const_cast<CONST EFI_PEI_SERVICES **>(PeiServices);
  EFI_PEI_SMBUS2_PPI *Smbus;
  if (EFI_ERROR(LocateFirstPpi(Services, EFI_PEI_SMBUS2_PPI_GUID, &Smbus))) {
    return EFI_SUCCESS;
  }
  SmbusWriteByte(Smbus, SMBUS_SEGMENT_CONTROL, 0, SEGMENT_CONTROL_CLEAR);
  BOARD_TABLE_SOURCE_PPI *Source;
  if (EFI_ERROR(LocateFirstPpi(Services, BOARD_TABLE_SOURCE_PPI_GUID, &Source))) {
    return EFI_SUCCESS;
  }
  HandOverSegmentTables(Services, Source);
  PublishDeviceCode(Smbus);
  SmbusWriteByte(Smbus, SMBUS_BUS_SELECTOR, 0, SELECTOR_RELEASED);
  return EFI_SUCCESS;
}
