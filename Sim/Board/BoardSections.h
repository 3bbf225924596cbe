// Readers of the board file's sections. Each reads its own key of the document root into the
// board and reports every problem it finds to the root's BoardReader.
#pragma once

#include "Board/Board.h"
#include "Board/BoardReader.h"

namespace boardsim {

void ReadPcdSection(TableReader &root, Board &board);
void ReadSetupSection(TableReader &root, Board &board);
void ReadHostSection(TableReader &root, Board &board);
void ReadPciSection(TableReader &root, Board &board);
void ReadSmbusSection(TableReader &root, Board &board);
void ReadBmcSection(TableReader &root, Board &board);
void ReadUartSection(TableReader &root, Board &board);
void ReadCpuSection(TableReader &root, Board &board);
void ReadSmmSection(TableReader &root, Board &board);
void ReadS3SaveSmmSection(TableReader &root, Board &board);
void ReadHeapSection(TableReader &root, Board &board);
void ReadBoardTablesSection(TableReader &root, Board &board);
void ReadServicesSection(TableReader &root, Board &board);
void ReadFaultSection(TableReader &root, Board &board);
void ReadBootSection(TableReader &root, Board &board);
void ReadExpectSection(TableReader &root, Board &board);

} // namespace boardsim
