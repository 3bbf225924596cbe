// The platform's "Setup" variable as the board modules read it.
#pragma once
#include <Guids.h>

// SETUP_BOARD_MASK_OFFSET: non-zero selects the write of PcdBoardSetupMask in PEI.
#ifdef __cplusplus
inline constexpr CHAR16 SETUP_VARIABLE_NAME[] = u"Setup";
inline constexpr UINTN SETUP_VARIABLE_SIZE = 589;
inline constexpr UINTN SETUP_BOARD_MASK_OFFSET = 584;
#else
#define SETUP_VARIABLE_NAME L"Setup" // CHAR16 with -fshort-wchar, as EDK II builds C
#define SETUP_VARIABLE_SIZE ((UINTN)589)
#define SETUP_BOARD_MASK_OFFSET ((UINTN)584)
#endif
