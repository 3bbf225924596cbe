// What the QEMU harness modules know of the board they play: the layout of the values that
// qemu-board writes from a board file in boards/ into QemuBoardValues.h, so that the harness and
// boardsim run the same board.
#pragma once
#include <Base.h>

inline constexpr UINTN QEMU_BOARD_MAX_REGISTERS = 16;
inline constexpr UINTN QEMU_BOARD_MAX_FAIL_ON = 8;
inline constexpr UINTN QEMU_BOARD_TABLE_SIZE = 60;

// [[smbus]]: a device on the host SMBus.
struct QEMU_SMBUS_DEVICE {
  UINT8 Address; // 7-bit
  BOOLEAN Present;
  UINT32 FailFirst;
  UINT32 FailOnCount;
  UINT32 FailOn[QEMU_BOARD_MAX_FAIL_ON]; // 1-based transaction numbers
  UINT32 RegisterCount;
  UINT8 Commands[QEMU_BOARD_MAX_REGISTERS];
  UINT8 Values[QEMU_BOARD_MAX_REGISTERS];
};

// [bmc]
struct QEMU_BMC {
  BOOLEAN Answers;       // false: "never"
  UINT32 ReadyAfter;     // failed requests before it answers
  BOOLEAN NotReadySize2; // a not-ready request succeeds with 2 response bytes
  UINT32 ResponseSize;
};

// A PCD token of the board with its width in bits and its value before boot.
struct QEMU_PCD_TOKEN {
  UINT32 Token;
  UINT32 Width;
  UINT64 Value;
};

// [[heap]]: one "HEAP" record; its payload is HeapData[DataOffset .. DataOffset + Size).
struct QEMU_HEAP_RECORD {
  UINT32 Signature;
  UINT32 Handle;
  UINT32 Size;
  UINT8 Kind;
  UINT8 CopyToSmram;
  UINT32 DataOffset;
};
