// What the QEMU harness driver saw on behalf of the board platform, published so that the check
// application can report it: the calls of the setup item service.
#pragma once
#include <Base.h>

// 2CEA3623-FEC0-4F26-8B16-00A9BDE066AF
inline constexpr EFI_GUID HARNESS_RECORD_PROTOCOL_GUID = {
    0x2CEA3623, 0xFEC0, 0x4F26, {0x8B, 0x16, 0x00, 0xA9, 0xBD, 0xE0, 0x66, 0xAF}};

inline constexpr UINTN HARNESS_ITEM_NAME_SIZE = 16;
inline constexpr UINTN HARNESS_MAX_MARK_ITEMS = 8;

// One MarkItem call; the name is copied so that the record outlives the caller's string.
struct HARNESS_MARK_ITEM {
  CHAR8 ItemName[HARNESS_ITEM_NAME_SIZE];
  UINT64 Code;
};
static_assert(sizeof(HARNESS_MARK_ITEM) == 24);
static_assert(__builtin_offsetof(HARNESS_MARK_ITEM, Code) == 16);

struct HARNESS_RECORD_PROTOCOL {
  UINT64 MarkItemCount; // every call, also those past the recorded ones
  HARNESS_MARK_ITEM MarkItems[HARNESS_MAX_MARK_ITEMS];
};
static_assert(sizeof(HARNESS_RECORD_PROTOCOL) == 8 + 24 * HARNESS_MAX_MARK_ITEMS);
static_assert(__builtin_offsetof(HARNESS_RECORD_PROTOCOL, MarkItems) == 8);
