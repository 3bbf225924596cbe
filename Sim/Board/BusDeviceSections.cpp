#include "Board/BoardSections.h"
#include "Board/NumberFormat.h"

#include <map>

namespace boardsim {

namespace {

constexpr std::string_view kNotReadyNames[] = {"error", "size2"};
constexpr BmcNotReady kNotReady[] = {BmcNotReady::Error, BmcNotReady::Size2};

// True when the entry holds a valid 7-bit address.
bool ReadSmbusAddress(TableReader &entry, SmbusDevice &device) {
  if (!entry.Require("address", "give the device's 7-bit address, e.g. address = 0x50")) {
    return false;
  }
  const toml::node &node = *entry.Find("address");
  auto address = entry.reader().Unsigned(node, entry.KeyPath("address"), 0, UINT64_MAX);
  if (!address)
    return false;
  if (*address > 0x7F) {
    entry.reader().Report(node.source(), entry.KeyPath("address"),
                          Hex(*address) + " is not a 7-bit SMBus address",
                          "give 0 to 0x7F; an 8-bit bus address shifted right by one is the "
                          "7-bit one, e.g. 0xA0 is 0x50");
    return false;
  }
  device.address = static_cast<uint8_t>(*address);
  return true;
}

} // namespace

void ReadSmbusSection(TableReader &root, Board &board) {
  std::map<uint8_t, uint32_t> lineOf;
  for (TableReader &entry : root.TableArray("smbus")) {
    SmbusDevice device;
    device.line = entry.source().begin.line;
    const bool hasAddress = ReadSmbusAddress(entry, device);
    for (const NumberedEntry &reg : entry.NumberedTable("regs", 0xFF, "command byte")) {
      if (auto value = entry.reader().Unsigned(*reg.value, reg.key, 0, 0xFF)) {
        device.regs[static_cast<uint8_t>(reg.number)] = static_cast<uint8_t>(*value);
      }
    }
    entry.Unsigned("fail_first", device.fail_first);
    entry.UnsignedArray("fail_on", device.fail_on, 1); // transactions count from 1
    entry.Bool("present", device.present);
    entry.RejectUnknownKeys();
    if (hasAddress) {
      auto [it, inserted] = lineOf.emplace(device.address, device.line);
      if (!inserted) {
        entry.reader().Report(entry.Find("address")->source(), entry.KeyPath("address"),
                              "address " + Hex(device.address) + " is already described",
                              "the first entry is at line " + std::to_string(it->second) +
                                  "; merge the two entries");
      }
    }
    board.smbus.push_back(std::move(device));
  }
}

void ReadBmcSection(TableReader &root, Board &board) {
  std::optional<TableReader> section = root.SubTable("bmc");
  if (!section)
    return;
  section->CountOrNever("ready_after", board.bmc.ready_after);
  if (auto notReady = section->Choice("not_ready", kNotReadyNames)) {
    board.bmc.not_ready = kNotReady[*notReady];
  }
  // The transport reports the response size in one byte.
  section->Unsigned("response_size", board.bmc.response_size, 0, 0xFF);
  section->RejectUnknownKeys();
}

void ReadUartSection(TableReader &root, Board &board) {
  std::map<uint64_t, uint32_t> lineOf;
  for (TableReader &entry : root.TableArray("uart")) {
    UartConfig uart;
    uart.line = entry.source().begin.line;
    entry.Require("base", "give the I/O or memory base, e.g. base = 0x2F8");
    std::optional<uint64_t> base;
    entry.Unsigned("base", base);
    entry.CountOrNever("ready_after", uart.ready_after);
    entry.RejectUnknownKeys();
    if (!base)
      continue;
    uart.base = *base;
    auto [it, inserted] = lineOf.emplace(uart.base, uart.line);
    if (!inserted) {
      entry.reader().Report(entry.Find("base")->source(), entry.KeyPath("base"),
                            "a UART at " + Hex(uart.base) + " is already described",
                            "the first entry is at line " + std::to_string(it->second) +
                                "; merge the two entries");
      continue;
    }
    // The legacy UART always exists; an entry at its base configures it.
    if (uart.base == kLegacyUartBase) {
      board.uarts.front() = uart;
    } else {
      board.uarts.push_back(uart);
    }
  }
}

} // namespace boardsim
