// The constant BOARD_INFO_PPI this module publishes.
#pragma once
#include <BoardInfoPpi.h>

extern const BOARD_INFO_PPI mBoardInfoPpi;
