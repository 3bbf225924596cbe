#include "BoardInfoPpiTable.h"

namespace {

constexpr UINT8 BOARD_RECORD[BOARD_INFO_RECORD_SIZE] = {0x54, 0x1B, 0x01, 0x01};
constexpr UINT8 BOARD_RECORD_FLAG = 0x01;
constexpr UINT8 BOARD_FLAG_SET = 0x01;

BOOLEAN EFIAPI PeiBooleanQuery0(CONST EFI_PEI_SERVICES **, BOARD_INFO_PPI *, VOID *, VOID *) {
  return FALSE;
}

EFI_STATUS EFIAPI PeiRecordQuery3(CONST EFI_PEI_SERVICES **, BOARD_INFO_PPI *, VOID *Record,
                                  VOID *Flag) {
  if (Record == nullptr || Flag == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  for (UINTN Index = 0; Index < BOARD_INFO_RECORD_SIZE; ++Index) {
    static_cast<UINT8 *>(Record)[Index] = BOARD_RECORD[Index];
  }
  *static_cast<UINT8 *>(Flag) = BOARD_RECORD_FLAG;
  return EFI_SUCCESS;
}

BOOLEAN EFIAPI PeiBooleanQuery4(CONST EFI_PEI_SERVICES **, BOARD_INFO_PPI *, VOID *, VOID *) {
  return TRUE;
}

EFI_STATUS EFIAPI PeiFlagsQuery6(CONST EFI_PEI_SERVICES **, BOARD_INFO_PPI *, VOID *Flags, VOID *) {
  if (Flags == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  for (UINTN Index = 0; Index < BOARD_INFO_FLAG_COUNT; ++Index) {
    static_cast<UINT8 *>(Flags)[Index] = BOARD_FLAG_SET;
  }
  return EFI_SUCCESS;
}

UINT32 EFIAPI PeiValueQuery7(CONST EFI_PEI_SERVICES **, BOARD_INFO_PPI *, VOID *, VOID *) {
  return 0;
}

} // namespace

extern constexpr BOARD_INFO_PPI mBoardInfoPpi = {
    PeiBooleanQuery0, nullptr,        nullptr,        PeiRecordQuery3, PeiBooleanQuery4,
    nullptr,          PeiFlagsQuery6, PeiValueQuery7, nullptr,         nullptr,
};
