// The SMRAM heap list shared by every SMM image that carries the heap-transfer code, and the
// "HEAP" records that earlier phases leave in GUID-extension HOBs for it.
#pragma once
#include <InterfaceBase.h>
#ifdef __cplusplus
#include <Uefi.h>
#include <Pi/PiHob.h>
#else
#include <PiDxe.h>
#endif

// HEAP_RECORD_COPY_TO_SMRAM: the CopyToSmram value that selects a record for the transfer; any
// other value leaves it behind.
#ifdef __cplusplus
inline constexpr UINT32 HEAP_RECORD_SIGNATURE = 0x50414548; // "HEAP"
inline constexpr UINT32 DEBUG_TRACE_BUFFER_HANDLE = 0xA014;
inline constexpr UINT8 HEAP_RECORD_COPY_TO_SMRAM = 1;
#else
#define HEAP_RECORD_SIGNATURE ((UINT32)0x50414548) // "HEAP"
#define DEBUG_TRACE_BUFFER_HANDLE ((UINT32)0xA014)
#define HEAP_RECORD_COPY_TO_SMRAM ((UINT8)1)
#endif

typedef struct HEAP_RECORD_HEADER {
  UINT32 Signature;
  UINT32 Handle;
  UINT32 Size; // payload bytes that follow the header
  UINT8 Kind;
  UINT8 CopyToSmram;
  UINT16 Reserved; // producer's own, copied with the header
} HEAP_RECORD_HEADER;
BOARD_STATIC_ASSERT(sizeof(HEAP_RECORD_HEADER) == 16);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_RECORD_HEADER, Handle) == 4);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_RECORD_HEADER, Size) == 8);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_RECORD_HEADER, Kind) == 12);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_RECORD_HEADER, CopyToSmram) == 13);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_RECORD_HEADER, Reserved) == 14);

// A GUID-extension HOB named HEAP_TRANSFER_HOB_GUID; Record.Size payload bytes follow it.
typedef struct HEAP_TRANSFER_HOB {
  EFI_HOB_GUID_TYPE Header;
  HEAP_RECORD_HEADER Record;
} HEAP_TRANSFER_HOB;
BOARD_STATIC_ASSERT(sizeof(HEAP_TRANSFER_HOB) == 40);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_TRANSFER_HOB, Record) == 24);

// One transferred record in SMRAM; Header.Size payload bytes follow it.
typedef struct SMM_HEAP_NODE {
  LIST_ENTRY Link;
  HEAP_RECORD_HEADER Header;
} SMM_HEAP_NODE;
BOARD_STATIC_ASSERT(sizeof(SMM_HEAP_NODE) == 32);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(SMM_HEAP_NODE, Header) == 16);

typedef struct SMM_HEAP_LIST_PROTOCOL {
  UINT64 Version; // 1
  LIST_ENTRY HeapList;
} SMM_HEAP_LIST_PROTOCOL;
BOARD_STATIC_ASSERT(sizeof(SMM_HEAP_LIST_PROTOCOL) == 24);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(SMM_HEAP_LIST_PROTOCOL, HeapList) == 8);

typedef struct HEAP_LOOKUP_REQUEST {
  UINT32 Handle; // in
  UINT32 Size;   // out
  VOID *Buffer;  // out: the payload in SMRAM, or NULL
} HEAP_LOOKUP_REQUEST;
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_LOOKUP_REQUEST, Size) == 4);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(HEAP_LOOKUP_REQUEST, Buffer) == 8);
BOARD_STATIC_ASSERT(sizeof(HEAP_LOOKUP_REQUEST) == 8 + sizeof(VOID *));
