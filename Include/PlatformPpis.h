// PPIs of other platform PEI modules that BoardInfoPei calls. Only the members it uses carry a
// real signature; the rest keep their slot with a generic pointer type.
#pragma once
#include <InterfaceBase.h>
#ifdef __cplusplus
#include <Pi/PiPei.h>
#else
#include <PiPei.h>
#endif

typedef EFI_STATUS(EFIAPI *PLATFORM_PPI_OTHER_ENTRY)(VOID);

// Transport to the baseboard management controller.
typedef struct BMC_TRANSPORT_PPI BMC_TRANSPORT_PPI;

// Sends one IPMI request. *ResponseSize holds the capacity of Response on input and the number of
// response bytes on output.
typedef EFI_STATUS(EFIAPI *BMC_TRANSPORT_SEND_COMMAND)(BMC_TRANSPORT_PPI *This, UINT8 NetFn,
                                                       UINT8 Lun, UINT8 Command, UINT8 *Request,
                                                       UINT32 RequestSize, UINT8 *Response,
                                                       UINT8 *ResponseSize);

struct BMC_TRANSPORT_PPI {
  PLATFORM_PPI_OTHER_ENTRY Other0;
  PLATFORM_PPI_OTHER_ENTRY Other1;
  PLATFORM_PPI_OTHER_ENTRY Other2;
  BMC_TRANSPORT_SEND_COMMAND SendBmcCommand;
};

BOARD_STATIC_ASSERT(sizeof(BMC_TRANSPORT_PPI) == 4 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BMC_TRANSPORT_PPI, SendBmcCommand) == 3 * sizeof(VOID *));

// Bytes in each of the board's segment tables.
#ifdef __cplusplus
inline constexpr UINTN BOARD_SEGMENT_TABLE_SIZE = 60;
#else
#define BOARD_SEGMENT_TABLE_SIZE ((UINTN)60)
#endif

// Hands out the board's three segment tables.
typedef EFI_STATUS(EFIAPI *BOARD_TABLE_SOURCE_GET_SEGMENT_TABLES)(UINT8 *First, UINT8 *Second,
                                                                  UINT8 *Third);

typedef struct BOARD_TABLE_SOURCE_PPI {
  PLATFORM_PPI_OTHER_ENTRY Other0;
  BOARD_TABLE_SOURCE_GET_SEGMENT_TABLES GetSegmentTables;
} BOARD_TABLE_SOURCE_PPI;

BOARD_STATIC_ASSERT(sizeof(BOARD_TABLE_SOURCE_PPI) == 2 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_TABLE_SOURCE_PPI, GetSegmentTables) ==
                    1 * sizeof(VOID *));

// Programs one segment table into the devices behind the given bus and address bytes.
typedef EFI_STATUS(EFIAPI *BOARD_TABLE_APPLY_SEGMENT_TABLE)(CONST EFI_PEI_SERVICES **PeiServices,
                                                            UINT8 Bus, UINT8 Address,
                                                            UINT8 SegmentValue, UINT8 *Table,
                                                            UINT8 Count);

typedef struct BOARD_TABLE_APPLY_PPI {
  BOARD_TABLE_APPLY_SEGMENT_TABLE ApplySegmentTable;
} BOARD_TABLE_APPLY_PPI;

BOARD_STATIC_ASSERT(sizeof(BOARD_TABLE_APPLY_PPI) == 1 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_TABLE_APPLY_PPI, ApplySegmentTable) == 0);
