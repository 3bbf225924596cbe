// The SMRAM heap list shared by every SMM image that carries the heap-transfer code, and the
// "HEAP" records that earlier phases leave in GUID-extension HOBs for it.
#pragma once
#include <Uefi.h>
#include <Pi/PiHob.h>

inline constexpr UINT32 HEAP_RECORD_SIGNATURE = 0x50414548; // "HEAP"
inline constexpr UINT32 DEBUG_TRACE_BUFFER_HANDLE = 0xA014;
// CopyToSmram value that selects a record for the transfer; any other value leaves it behind.
inline constexpr UINT8 HEAP_RECORD_COPY_TO_SMRAM = 1;

struct HEAP_RECORD_HEADER {
  UINT32 Signature;
  UINT32 Handle;
  UINT32 Size; // payload bytes that follow the header
  UINT8 Kind;
  UINT8 CopyToSmram;
  UINT16 Reserved; // producer's own, copied with the header
};
static_assert(sizeof(HEAP_RECORD_HEADER) == 16);
static_assert(__builtin_offsetof(HEAP_RECORD_HEADER, Handle) == 4);
static_assert(__builtin_offsetof(HEAP_RECORD_HEADER, Size) == 8);
static_assert(__builtin_offsetof(HEAP_RECORD_HEADER, Kind) == 12);
static_assert(__builtin_offsetof(HEAP_RECORD_HEADER, CopyToSmram) == 13);
static_assert(__builtin_offsetof(HEAP_RECORD_HEADER, Reserved) == 14);

// A GUID-extension HOB named HEAP_TRANSFER_HOB_GUID; Record.Size payload bytes follow it.
struct HEAP_TRANSFER_HOB {
  EFI_HOB_GUID_TYPE Header;
  HEAP_RECORD_HEADER Record;
};
static_assert(sizeof(HEAP_TRANSFER_HOB) == 40);
static_assert(__builtin_offsetof(HEAP_TRANSFER_HOB, Record) == 24);

// One transferred record in SMRAM; Header.Size payload bytes follow it.
struct SMM_HEAP_NODE {
  LIST_ENTRY Link;
  HEAP_RECORD_HEADER Header;
};
static_assert(sizeof(SMM_HEAP_NODE) == 32);
static_assert(__builtin_offsetof(SMM_HEAP_NODE, Header) == 16);

struct SMM_HEAP_LIST_PROTOCOL {
  UINT64 Version; // 1
  LIST_ENTRY HeapList;
};
static_assert(sizeof(SMM_HEAP_LIST_PROTOCOL) == 24);
static_assert(__builtin_offsetof(SMM_HEAP_LIST_PROTOCOL, HeapList) == 8);

struct HEAP_LOOKUP_REQUEST {
  UINT32 Handle; // in
  UINT32 Size;   // out
  VOID *Buffer;  // out: the payload in SMRAM, or NULL
};
static_assert(__builtin_offsetof(HEAP_LOOKUP_REQUEST, Size) == 4);
static_assert(__builtin_offsetof(HEAP_LOOKUP_REQUEST, Buffer) == 8);
static_assert(sizeof(HEAP_LOOKUP_REQUEST) == 8 + sizeof(VOID *));
