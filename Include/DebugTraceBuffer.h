// The memory trace buffer that an earlier boot phase sets up for the I/O-breakpoint debug channel.
// It reaches SMRAM as a heap buffer; the channel reads the header and writes Count and Data.
#pragma once
#include <InterfaceBase.h>

#ifdef __cplusplus
inline constexpr UINT32 DEBUG_TRACE_BUFFER_SIGNATURE = 0xDB1099CC;
#else
#define DEBUG_TRACE_BUFFER_SIGNATURE ((UINT32)0xDB1099CC)
#endif

#pragma pack(push, 1)
typedef struct DEBUG_TRACE_BUFFER {
  UINT32 Signature;
  UINT16 Reserved0;
  UINT16 Capacity; // bytes in Data
  UINT16 Count;    // bytes of Data in use
  UINT8 Enable;    // 1: text may be emitted; otherwise it is dropped
  UINT8 Reserved1[7];
  UINT8 Buffered; // 1: gather text in Data; otherwise hand each text over at once
  UINT8 Reserved2[5];
  UINT64 Filter; // level mask that replaces the default filter
  UINT8 Reserved3[481];
  // Capacity bytes of Data follow the header.
} DEBUG_TRACE_BUFFER;
#pragma pack(pop)

#ifdef __cplusplus
inline constexpr UINTN DEBUG_TRACE_BUFFER_HEADER_SIZE = 0x201;
#else
#define DEBUG_TRACE_BUFFER_HEADER_SIZE ((UINTN)0x201)
#endif

BOARD_STATIC_ASSERT(sizeof(DEBUG_TRACE_BUFFER) == DEBUG_TRACE_BUFFER_HEADER_SIZE);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Signature) == 0x000);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Capacity) == 0x006);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Count) == 0x008);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Enable) == 0x00A);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Buffered) == 0x012);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(DEBUG_TRACE_BUFFER, Filter) == 0x018);

// The gathered text bytes, right after the header.
#ifdef __cplusplus
inline UINT8 *DebugTraceBufferData(DEBUG_TRACE_BUFFER *Buffer) {
  return reinterpret_cast<UINT8 *>(Buffer) + DEBUG_TRACE_BUFFER_HEADER_SIZE;
}
#else
#define DebugTraceBufferData(Buffer) ((UINT8 *)(Buffer) + DEBUG_TRACE_BUFFER_HEADER_SIZE)
#endif
