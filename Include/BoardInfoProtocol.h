// BOARD_INFO_PROTOCOL (installed by BoardInfoDxe under BOARD_INFO_PROTOCOL_GUID), the list layout
// its GetNicMacAddresses member fills, and the outside SETUP_ITEM_PROTOCOL that the driver reports
// the first onboard network controller family to.
#pragma once
#include <InterfaceBase.h>

typedef struct BOARD_INFO_PROTOCOL BOARD_INFO_PROTOCOL;

// The constant members read none of their arguments; the three pointer-sized parameters are what
// consumers pass (the interface, then two buffers).
typedef BOOLEAN(EFIAPI *BOARD_INFO_BOOLEAN_QUERY)(BOARD_INFO_PROTOCOL *This, VOID *Arg1,
                                                  VOID *Arg2);
typedef UINT64(EFIAPI *BOARD_INFO_VALUE_QUERY)(BOARD_INFO_PROTOCOL *This, VOID *Arg1, VOID *Arg2);
// Fills the NIC_MAC_LIST at offset NIC_MAC_LIST1_OFFSET of ListBuffer1 (controller 1) and the one
// at offset NIC_MAC_LIST2_OFFSET of ListBuffer2 (controllers 2-4).
typedef EFI_STATUS(EFIAPI *BOARD_INFO_GET_NIC_MAC_ADDRESSES)(UINT8 *ListBuffer1,
                                                             UINT8 *ListBuffer2);

// Twelve pointer-sized slots; the reserved ones are null and must not be called.
struct BOARD_INFO_PROTOCOL {
  BOARD_INFO_BOOLEAN_QUERY BooleanQuery0;
  BOARD_INFO_VALUE_QUERY ValueQuery1;
  BOARD_INFO_BOOLEAN_QUERY BooleanQuery2;
  VOID *Reserved3;
  BOARD_INFO_GET_NIC_MAC_ADDRESSES GetNicMacAddresses;
  BOARD_INFO_BOOLEAN_QUERY BooleanQuery5;
  BOARD_INFO_VALUE_QUERY ValueQuery6;
  BOARD_INFO_VALUE_QUERY ValueQuery7;
  VOID *Reserved8;
  VOID *Reserved9;
  VOID *Reserved10;
  VOID *Reserved11;
};

#ifdef __cplusplus
inline constexpr UINTN BOARD_INFO_PROTOCOL_SLOT_COUNT = 12;
#else
#define BOARD_INFO_PROTOCOL_SLOT_COUNT ((UINTN)12)
#endif
BOARD_STATIC_ASSERT(sizeof(BOARD_INFO_PROTOCOL) == BOARD_INFO_PROTOCOL_SLOT_COUNT * sizeof(VOID *));
#if defined(__x86_64__)
BOARD_STATIC_ASSERT(sizeof(BOARD_INFO_PROTOCOL) == 96);
#endif
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, BooleanQuery0) == 0 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, ValueQuery1) == 1 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, BooleanQuery2) == 2 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, Reserved3) == 3 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, GetNicMacAddresses) == 4 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, BooleanQuery5) == 5 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, ValueQuery6) == 6 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, ValueQuery7) == 7 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, Reserved8) == 8 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, Reserved9) == 9 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, Reserved10) == 10 * sizeof(VOID *));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(BOARD_INFO_PROTOCOL, Reserved11) == 11 * sizeof(VOID *));

// NIC_MAC_LIST: a count byte followed by six-byte entries; entry k (1-based) starts at
// NIC_MAC_LIST_ENTRIES + NIC_MAC_ADDRESS_SIZE * (k - 1), that offset taken modulo 256.
// Where each buffer's list starts: bytes 0-2 of the first buffer belong to the consumer.
#ifdef __cplusplus
inline constexpr UINTN NIC_MAC_LIST_COUNT = 0;
inline constexpr UINTN NIC_MAC_LIST_ENTRIES = 1;
inline constexpr UINTN NIC_MAC_ADDRESS_SIZE = 6;
inline constexpr UINTN NIC_MAC_LIST1_OFFSET = 3;
inline constexpr UINTN NIC_MAC_LIST2_OFFSET = 0;
#else
#define NIC_MAC_LIST_COUNT ((UINTN)0)
#define NIC_MAC_LIST_ENTRIES ((UINTN)1)
#define NIC_MAC_ADDRESS_SIZE ((UINTN)6)
#define NIC_MAC_LIST1_OFFSET ((UINTN)3)
#define NIC_MAC_LIST2_OFFSET ((UINTN)0)
#endif

// SETUP_ITEM_PROTOCOL (SETUP_ITEM_PROTOCOL_GUID) belongs to other firmware; only its first member
// is used. It takes no interface pointer.
typedef EFI_STATUS(EFIAPI *SETUP_ITEM_MARK_ITEM)(CONST CHAR8 *ItemName, UINTN Code);

typedef struct SETUP_ITEM_PROTOCOL {
  SETUP_ITEM_MARK_ITEM MarkItem;
} SETUP_ITEM_PROTOCOL;
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(SETUP_ITEM_PROTOCOL, MarkItem) == 0);
BOARD_STATIC_ASSERT(sizeof(SETUP_ITEM_PROTOCOL) == sizeof(VOID *));
