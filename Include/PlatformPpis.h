// PPIs of other platform PEI modules that BoardInfoPei calls. Only the members it uses carry a
// real signature; the rest keep their slot with a generic pointer type.
#pragma once
#include <Pi/PiPei.h>

using PLATFORM_PPI_OTHER_ENTRY = EFI_STATUS(EFIAPI *)(VOID);

// Transport to the baseboard management controller.
struct BMC_TRANSPORT_PPI;

// Sends one IPMI request. *ResponseSize holds the capacity of Response on input and the number of
// response bytes on output.
using BMC_TRANSPORT_SEND_COMMAND = EFI_STATUS(EFIAPI *)(BMC_TRANSPORT_PPI *This, UINT8 NetFn,
                                                        UINT8 Lun, UINT8 Command, UINT8 *Request,
                                                        UINT32 RequestSize, UINT8 *Response,
                                                        UINT8 *ResponseSize);

struct BMC_TRANSPORT_PPI {
  PLATFORM_PPI_OTHER_ENTRY Other0;
  PLATFORM_PPI_OTHER_ENTRY Other1;
  PLATFORM_PPI_OTHER_ENTRY Other2;
  BMC_TRANSPORT_SEND_COMMAND SendBmcCommand;
};

static_assert(sizeof(BMC_TRANSPORT_PPI) == 4 * sizeof(VOID *), "four pointer-sized entries");
static_assert(__builtin_offsetof(BMC_TRANSPORT_PPI, SendBmcCommand) == 3 * sizeof(VOID *));

// Bytes in each of the board's segment tables.
inline constexpr UINTN BOARD_SEGMENT_TABLE_SIZE = 60;

// Hands out the board's three segment tables.
using BOARD_TABLE_SOURCE_GET_SEGMENT_TABLES = EFI_STATUS(EFIAPI *)(UINT8 *First, UINT8 *Second,
                                                                   UINT8 *Third);

struct BOARD_TABLE_SOURCE_PPI {
  PLATFORM_PPI_OTHER_ENTRY Other0;
  BOARD_TABLE_SOURCE_GET_SEGMENT_TABLES GetSegmentTables;
};

static_assert(sizeof(BOARD_TABLE_SOURCE_PPI) == 2 * sizeof(VOID *), "two pointer-sized entries");
static_assert(__builtin_offsetof(BOARD_TABLE_SOURCE_PPI, GetSegmentTables) == 1 * sizeof(VOID *));

// Programs one segment table into the devices behind the given bus and address bytes.
using BOARD_TABLE_APPLY_SEGMENT_TABLE = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                             UINT8 Bus, UINT8 Address,
                                                             UINT8 SegmentValue, UINT8 *Table,
                                                             UINT8 Count);

struct BOARD_TABLE_APPLY_PPI {
  BOARD_TABLE_APPLY_SEGMENT_TABLE ApplySegmentTable;
};

static_assert(sizeof(BOARD_TABLE_APPLY_PPI) == 1 * sizeof(VOID *), "one pointer-sized entry");
static_assert(__builtin_offsetof(BOARD_TABLE_APPLY_PPI, ApplySegmentTable) == 0);
