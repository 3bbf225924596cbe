// What must hold after a run: the board file's [[expect]] entries. Each names one kind of
// observation and the value it must have; the simulator checks them against the final state and
// the trace once the run is over.
#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace boardsim {

enum class ExpectKind {
  Outcome,      // final.outcome
  Pcd,          // final.pcd, token -> value
  Macs,         // the addresses the n-th GetNicMacAddresses call returned, list 1 then list 2
  ErrorStops,   // final.error_stops
  Uart,         // text that appears in what a UART sent
  FramedText,   // text that appears in the frames on the framed debug port
  PostCodes,    // values that follow each other in final.port80
  HostRegister, // an entry of final.host_registers
  S3Record,     // final.s3_record (fields given must match; "none" for null)
  S3Table,      // final.s3_table
  Image,        // an entry of final.images
  Smbus,        // `smbus` trace events
  Ipmi,         // `ipmi` trace events
  Event,        // trace events of any kind
};

struct Expectation {
  uint32_t line = 0;
  std::string key; // "expect[3].macs", for messages
  ExpectKind kind = ExpectKind::Outcome;
  // The value written, in the form the trace uses: integers as numbers, byte strings as
  // lowercase hex, PCD tokens as decimal strings. For the event kinds, the fields to match.
  nlohmann::ordered_json expected;
  uint32_t call = 1;             // macs: which call, 1-based
  uint64_t base = 0x3F8;         // uart: which UART
  std::optional<uint32_t> count; // event kinds: exactly this many (nullopt: at least one)
  bool in_order = false;         // event kinds: after the previous in_order expectation's match
};

} // namespace boardsim
