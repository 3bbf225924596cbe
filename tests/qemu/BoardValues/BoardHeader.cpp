#include "BoardHeader.h"

#include "Board/PcdTable.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace qemuboard {
namespace {

constexpr std::size_t kMaxRegisters = 16; // QEMU_BOARD_MAX_REGISTERS
constexpr std::size_t kMaxFailOn = 8;     // QEMU_BOARD_MAX_FAIL_ON

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

template <typename Range> std::string List(const Range &values) {
  std::string text = "{";
  for (const auto value : values) {
    text += (text.size() > 1 ? ", " : "") + Hex(value);
  }
  return text + "}";
}

void Refuse(const std::string &key, const std::string &what) {
  throw std::runtime_error(key + ": " + what + "; the QEMU harness does not model it");
}

void WriteSmbus(std::ostream &out, const boardsim::Board &board) {
  out << "inline constexpr QEMU_SMBUS_DEVICE QEMU_BOARD_SMBUS[] = {\n";
  for (std::size_t index = 0; index < board.smbus.size(); ++index) {
    const boardsim::SmbusDevice &device = board.smbus[index];
    const std::string key = "smbus[" + std::to_string(index) + "]";
    if (device.regs.size() > kMaxRegisters || device.fail_on.size() > kMaxFailOn) {
      Refuse(key, "more than 16 registers or 8 fail_on entries");
    }
    std::vector<std::uint8_t> commands, values;
    for (const auto &[command, value] : device.regs) {
      commands.push_back(command);
      values.push_back(value);
    }
    out << "    {" << Hex(device.address) << ", " << (device.present ? "TRUE" : "FALSE") << ", "
        << device.fail_first << ", " << device.fail_on.size() << ", " << List(device.fail_on)
        << ", " << device.regs.size() << ", " << List(commands) << ", " << List(values) << "},\n";
  }
  out << "};\n\n";
}

void WriteHeap(std::ostream &out, const boardsim::Board &board) {
  std::vector<std::uint8_t> data;
  out << "inline constexpr QEMU_HEAP_RECORD QEMU_BOARD_HEAP[] = {\n";
  for (std::size_t index = 0; index < board.heap.size(); ++index) {
    const boardsim::HeapRecord &record = board.heap[index];
    const std::string key = "heap[" + std::to_string(index) + "]";
    if (record.trace_buffer || record.guid != boardsim::kHeapTransferHobGuid ||
        record.hob_length != (boardsim::kHeapHobHeaderSize + record.size + 7) / 8 * 8) {
      Refuse(key, "a trace buffer, another HOB name or another HOB length");
    }
    std::vector<std::uint8_t> payload = record.data;
    payload.resize(record.size, 0);
    out << "    {" << Hex(record.signature) << ", " << Hex(record.handle) << ", " << record.size
        << ", " << Hex(record.kind) << ", " << Hex(record.copy_to_smram) << ", " << data.size()
        << "},\n";
    data.insert(data.end(), payload.begin(), payload.end());
  }
  out << "};\n";
  data.push_back(0); // an array may not be empty
  out << "inline constexpr UINT8 QEMU_BOARD_HEAP_DATA[] = " << List(data) << ";\n\n";
}

} // namespace

std::string BoardHeader(const boardsim::Board &board, const std::string &source) {
  std::ostringstream out;
  out << "// Written by qemu-board from " << source << "; do not edit.\n"
      << "#pragma once\n#include \"QemuBoardModel.h\"\n\n";
  WriteSmbus(out, board);

  const boardsim::BmcConfig &bmc = board.bmc;
  out << "inline constexpr QEMU_BMC QEMU_BOARD_BMC = {" << (bmc.ready_after ? "TRUE" : "FALSE")
      << ", " << bmc.ready_after.value_or(0) << ", "
      << (bmc.not_ready == boardsim::BmcNotReady::Size2 ? "TRUE" : "FALSE") << ", "
      << bmc.response_size << "};\n\n";

  out << "inline constexpr UINT8 QEMU_BOARD_TABLES[3][QEMU_BOARD_TABLE_SIZE] = {\n";
  for (const boardsim::BoardTable *table :
       {&board.board_tables.first, &board.board_tables.second, &board.board_tables.third}) {
    out << "    " << List(*table) << ",\n";
  }
  out << "};\n\n";

  // Every token of the platform's table; token 553 "auto" is the harness's to allocate.
  out << "inline constexpr QEMU_PCD_TOKEN QEMU_BOARD_PCD[] = {\n";
  for (const boardsim::PcdTokenInfo &token : boardsim::kPcdTokenTable) {
    const auto given = board.pcd.values.find(token.number);
    out << "    {" << token.number << ", " << token.width << ", "
        << Hex(given != board.pcd.values.end() ? given->second : 0) << "},\n";
  }
  out << "};\n";
  out << "inline constexpr BOOLEAN QEMU_BOARD_ALLOCATES_COMMUNICATION_BUFFER = "
      << (board.pcd.s3_communication_buffer == boardsim::BoardPcd::BufferSource::Value ? "FALSE"
                                                                                       : "TRUE")
      << ";\n\n";
  WriteHeap(out, board);
  return out.str();
}

} // namespace qemuboard
