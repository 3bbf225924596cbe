// BOARD_INFO_PPI: fixed answers about this board for other PEI modules, published by
// BoardInfoPei under BOARD_INFO_PPI_GUID.
#pragma once
#include <InterfaceBase.h>
#ifdef __cplusplus
#include <Pi/PiPei.h>
#else
#include <PiPei.h>
#endif

typedef struct BOARD_INFO_PPI BOARD_INFO_PPI;

// Every entry takes the same four arguments; entries that answer a constant read none of them,
// the output entries read only Out1 (and Out2).
typedef BOOLEAN(EFIAPI *BOARD_INFO_PPI_BOOLEAN_QUERY)(CONST EFI_PEI_SERVICES **PeiServices,
                                                      BOARD_INFO_PPI *This, VOID *Out1, VOID *Out2);
typedef EFI_STATUS(EFIAPI *BOARD_INFO_PPI_STATUS_QUERY)(CONST EFI_PEI_SERVICES **PeiServices,
                                                        BOARD_INFO_PPI *This, VOID *Out1,
                                                        VOID *Out2);
typedef UINT32(EFIAPI *BOARD_INFO_PPI_VALUE_QUERY)(CONST EFI_PEI_SERVICES **PeiServices,
                                                   BOARD_INFO_PPI *This, VOID *Out1, VOID *Out2);

// Size of the record PeiRecordQuery3 fills through Out1 (Out2 receives one byte), and of the
// flag array PeiFlagsQuery6 fills through Out1.
#ifdef __cplusplus
inline constexpr UINTN BOARD_INFO_RECORD_SIZE = 4;
inline constexpr UINTN BOARD_INFO_FLAG_COUNT = 5;
#else
#define BOARD_INFO_RECORD_SIZE ((UINTN)4)
#define BOARD_INFO_FLAG_COUNT ((UINTN)5)
#endif

struct BOARD_INFO_PPI {
  BOARD_INFO_PPI_BOOLEAN_QUERY PeiBooleanQuery0;
  VOID *PeiReserved1;
  VOID *PeiReserved2;
  BOARD_INFO_PPI_STATUS_QUERY PeiRecordQuery3;
  BOARD_INFO_PPI_BOOLEAN_QUERY PeiBooleanQuery4;
  VOID *PeiReserved5;
  BOARD_INFO_PPI_STATUS_QUERY PeiFlagsQuery6;
  BOARD_INFO_PPI_VALUE_QUERY PeiValueQuery7;
  VOID *PeiReserved8;
  VOID *PeiReserved9;
};

BOARD_STATIC_ASSERT(sizeof(BOARD_INFO_PPI) == 10 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiBooleanQuery0) == 0 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiReserved1) == 1 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiReserved2) == 2 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiRecordQuery3) == 3 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiBooleanQuery4) == 4 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiReserved5) == 5 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiFlagsQuery6) == 6 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiValueQuery7) == 7 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiReserved8) == 8 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PPI, PeiReserved9) == 9 * sizeof(VOID *));
