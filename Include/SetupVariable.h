// The platform's "Setup" variable as the board modules read it.
#pragma once
#include <Guids.h>

inline constexpr CHAR16 SETUP_VARIABLE_NAME[] = u"Setup";
inline constexpr UINTN SETUP_VARIABLE_SIZE = 589;
// Non-zero selects the write of PcdBoardSetupMask in PEI.
inline constexpr UINTN SETUP_BOARD_MASK_OFFSET = 584;
