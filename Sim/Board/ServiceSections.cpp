#include "Board/BoardSections.h"

namespace boardsim {

namespace {

void ReadBoardTable(TableReader &section, std::string_view key, BoardTable &table) {
  std::optional<std::vector<uint8_t>> bytes;
  section.Bytes(key, bytes);
  if (!bytes)
    return;
  if (bytes->size() > kBoardTableSize) {
    section.reader().Report(section.Find(key)->source(), section.KeyPath(key),
                            "the table is " + std::to_string(bytes->size()) +
                                " bytes long; it holds 60",
                            "give at most 60 bytes; shorter tables are padded with 0");
    return;
  }
  table.fill(0);
  std::copy(bytes->begin(), bytes->end(), table.begin());
}

} // namespace

void ReadBoardTablesSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("board_tables");
  if (!section)
    return;
  ReadBoardTable(*section, "first", board.board_tables.first);
  ReadBoardTable(*section, "second", board.board_tables.second);
  ReadBoardTable(*section, "third", board.board_tables.third);
  section->RejectUnknownKeys();
}

void ReadServicesSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("services");
  if (!section)
    return;
  ServicesConfig &services = board.services;
  section->Bool("PCD_PPI", services.pcd_ppi);
  section->Bool("EFI_PEI_READ_ONLY_VARIABLE2_PPI", services.read_only_variable2_ppi);
  section->Bool("EFI_PEI_STALL_PPI", services.stall_ppi);
  section->Bool("BMC_TRANSPORT_PPI", services.bmc_transport_ppi);
  section->Bool("PCD_PROTOCOL", services.pcd_protocol);
  section->Bool("SETUP_ITEM_PROTOCOL", services.setup_item_protocol);
  section->Bool("EFI_SMM_BASE2_PROTOCOL", services.smm_base2_protocol);
  section->Bool("EFI_SMM_ACCESS2_PROTOCOL", services.smm_access2_protocol);
  section->Bool("EFI_SMM_COMMUNICATION_PROTOCOL", services.smm_communication_protocol);
  for (std::string_view key :
       {"EFI_PEI_SMBUS2_PPI", "BOARD_TABLE_SOURCE_PPI", "BOARD_TABLE_APPLY_PPI"}) {
    if (const toml::node *node = section->Find(key)) {
      section->reader().Report(node->source(), section->KeyPath(key),
                               std::string(key) + " exists only once a boot step installs it",
                               "remove it here and add a boot step { pei_install = \"" +
                                   std::string(key) + "\" }");
    }
  }
  section->RejectUnknownKeys();
}

} // namespace boardsim
