// In-memory model of one board file: the simulated machine and the boot script to run on it.
// Every field starts at the value a board file gets when it leaves the key out; the parser
// resolves every default that depends on other keys (IDs per NIC model, HOB lengths, ...).
#pragma once

#include "Board/Expectation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// Source line of a board-file entry, for reports; 0 for entries the board file did not write.
using SourceLine = uint32_t;

// 16-byte GUID in memory order (the layout of EFI_GUID), as placed in a HOB's Name field.
using GuidBytes = std::array<uint8_t, 16>;

// D97D161A-16CD-4ADA-B9F6-AEC3F9FCCC2C, the Name of every heap-transfer GUID-extension HOB.
inline constexpr GuidBytes kHeapTransferHobGuid = {0x1A, 0x16, 0x7D, 0xD9, 0xCD, 0x16, 0xDA, 0x4A,
                                                   0xB9, 0xF6, 0xAE, 0xC3, 0xF9, 0xFC, 0xCC, 0x2C};

// [pcd]: initial PCD database. Tokens not in `values` start at 0.
inline constexpr uint32_t kS3CommunicationBufferToken = 553;
struct BoardPcd {
  std::map<uint32_t, uint64_t> values; // token number -> value (fits the token's width)
  // PcdS3CommunicationBuffer = "auto" or "smram": the simulator allocates a 64-byte buffer below
  // 4 GiB (in SMRAM for "smram") and stores its address in token 553. Unless it is `Value`,
  // `values` holds no entry for token 553.
  enum class BufferSource { Value, Auto, Smram };
  BufferSource s3_communication_buffer = BufferSource::Auto;
};

// [setup]: the `Setup` variable as stored (size, bytes and data already resolved).
inline constexpr uint32_t kDefaultSetupSize = 589;
struct SetupVariable {
  bool present = true;
  std::vector<uint8_t> data = std::vector<uint8_t>(kDefaultSetupSize, 0); // empty when absent
};

// [host]: the host register window of 00:00.0.
struct HostRegister {
  SourceLine line = 0;
  uint32_t instance = 0;
  uint32_t index = 0;
  uint32_t value = 0;
};
inline constexpr uint32_t kBusGroupRegisterIndex = 0x0001C0A0;
struct HostConfig {
  // Bits 31-24 of instance 0, register kBusGroupRegisterIndex; its other bits come from
  // `registers` (0 when not listed).
  uint8_t bus_group_size_minus_one = 15;
  std::vector<HostRegister> registers;
};

// [[pci]]
enum class PciKind { Device, Bridge, Nic };
enum class NicModel { Generic, Intel700, Broadcom, Mellanox };

struct Bdf {
  uint8_t bus = 0;
  uint8_t device = 0;   // 0-0x1F
  uint8_t function = 0; // 0-7
  friend bool operator==(const Bdf &, const Bdf &) = default;
  friend auto operator<=>(const Bdf &, const Bdf &) = default;
};

struct VpdKeyword {
  std::string keyword; // two characters, e.g. "V2"
  std::string value;
};

inline constexpr uint32_t kVpdImageSize = 256;
struct PciFunction {
  SourceLine line = 0;
  Bdf bdf;
  PciKind kind = PciKind::Device;
  NicModel model = NicModel::Generic; // only other than Generic for NICs
  uint16_t vendor = 0;                // resolved from `model` when not given
  uint16_t device = 0;
  uint8_t class_code = 0xFF;          // 0x02 for NICs, 0x06 for bridges when not given
  std::optional<uint8_t> secondary;   // always set for bridges
  std::optional<uint8_t> subordinate; // always set for bridges
  std::optional<std::array<uint8_t, 6>> mac;
  std::optional<uint32_t> bar0;                  // nullopt: the simulator assigns one
  std::optional<std::vector<VpdKeyword>> vpd;    // VPD-R keywords, in order
  std::optional<std::vector<uint8_t>> vpd_raw;   // exactly kVpdImageSize bytes (padded with 0)
  std::optional<uint32_t> vpd_ready_after = 1;   // nullopt: "never"
  uint32_t vpd_ready_after_us = 0;               // and no sooner than this after the read starts
  std::vector<uint8_t> capabilities;             // extra capability IDs before the VPD capability
  std::map<uint16_t, uint8_t> config;            // config-space byte overrides, applied last
  std::map<uint32_t, std::vector<uint8_t>> mmio; // BAR0-relative byte overrides, applied last
};

// [[smbus]]
struct SmbusDevice {
  SourceLine line = 0;
  uint8_t address = 0; // 7-bit
  std::map<uint8_t, uint8_t> regs;
  uint32_t fail_first = 0;
  std::vector<uint32_t> fail_on; // 1-based transaction numbers
  bool present = true;
};

// [bmc]
enum class BmcNotReady { Error, Size2 };
struct BmcConfig {
  std::optional<uint32_t> ready_after = 0; // nullopt: "never"
  BmcNotReady not_ready = BmcNotReady::Error;
  uint32_t response_size = 1;
};

// [cpu]
inline constexpr uint32_t kPciExpressWindowMsr = 0xC0010058;
struct CpuConfig {
  std::map<uint32_t, uint64_t> msr = {{kPciExpressWindowMsr, 0xE0000021}};
  uint64_t dr2 = 0;
  uint64_t dr3 = 0;
  uint64_t dr7 = 0;
  uint64_t cr4 = 0;
  uint16_t error_stop_probe = 0;
  uint32_t error_stop_cycles = 2;
  uint64_t tsc_per_pause = 100000000;
};

// [smm]
// [[smm.smram_range]]: SMRAM apart from the one at the fixed base.
struct SmramRange {
  uint64_t base = 0;
  uint64_t size = 0;
  uint32_t line = 0;
};

struct SmmConfig {
  bool in_smm = true;
  uint64_t smram_size = 0x400000;
  // Offsets into that SMRAM where one descriptor of the SMRAM map ends and the next begins.
  std::vector<uint64_t> smram_split;
  std::vector<SmramRange> smram_ranges;
  bool sx_dispatch = true;
  bool power_button_dispatch = true;
  bool hob_list = true;
};

// [[heap]]: one "HEAP" record in a GUID-extension HOB.
struct TraceBufferSpec {
  uint16_t capacity = 0;
  uint16_t count = 0;
  uint8_t enable = 0;
  uint8_t buffered = 0;
  uint64_t filter = 0;
  uint32_t signature = 0xDB1099CC;
  std::vector<uint8_t> data; // at most `capacity` bytes
};
inline constexpr uint32_t kHeapRecordSignature = 0x50414548; // "HEAP"
struct HeapRecord {
  SourceLine line = 0;
  uint32_t handle = 0;
  uint8_t kind = 0;
  uint8_t copy_to_smram = 1;
  std::vector<uint8_t> data;                   // payload unless trace_buffer is given
  std::optional<TraceBufferSpec> trace_buffer; // payload built as a DEBUG_TRACE_BUFFER
  uint32_t signature = kHeapRecordSignature;
  GuidBytes guid = kHeapTransferHobGuid;
  uint32_t size = 0;        // resolved: the payload length unless given
  uint16_t hob_length = 40; // resolved: 40 + size rounded up to 8 unless given
};
// The memory a record takes in the HOB list: its HOB, and all of its `size` payload bytes even
// where they run past a short HobLength (a module that trusts `size` then reads defined bytes).
inline constexpr uint32_t kHeapHobHeaderSize = 40;
inline uint64_t HeapRecordFootprint(const HeapRecord &record) {
  return std::max<uint64_t>(record.hob_length, kHeapHobHeaderSize + uint64_t{record.size});
}

// [board_tables]: the three 60-byte tables of BOARD_TABLE_SOURCE_PPI.
inline constexpr uint32_t kBoardTableSize = 60;
using BoardTable = std::array<uint8_t, kBoardTableSize>;
BoardTable DefaultBoardTable(uint32_t tableNumber); // byte k = (t * 0x40 + k) & 0xFF
struct BoardTables {
  BoardTable first = DefaultBoardTable(1);
  BoardTable second = DefaultBoardTable(2);
  BoardTable third = DefaultBoardTable(3);
};

// [s3savesmm]: build-time settings of the S3SaveSmm image.
struct S3SaveSmmSettings {
  uint8_t DebugPrintEnable = 0;
  uint8_t BreakpointChannelEnable = 1;
  uint16_t FramedPortAddress = 0x80;
  uint64_t SerialPortBase = 0x3F8;
  uint64_t DefaultDebugFilter = 0x100401008A300408;
};

// [[uart]]
inline constexpr uint64_t kLegacyUartBase = 0x3F8;
struct UartConfig {
  SourceLine line = 0;
  uint64_t base = kLegacyUartBase;         // up to 0xFFFF an I/O base, above a memory base
  std::optional<uint32_t> ready_after = 0; // nullopt: "never"
};

// [services]: which platform services exist from the start.
struct ServicesConfig {
  bool pcd_ppi = true;                    // PCD_PPI
  bool read_only_variable2_ppi = true;    // EFI_PEI_READ_ONLY_VARIABLE2_PPI
  bool stall_ppi = true;                  // EFI_PEI_STALL_PPI
  bool bmc_transport_ppi = true;          // BMC_TRANSPORT_PPI
  bool pcd_protocol = true;               // PCD_PROTOCOL
  bool setup_item_protocol = true;        // SETUP_ITEM_PROTOCOL
  bool smm_base2_protocol = true;         // EFI_SMM_BASE2_PROTOCOL
  bool smm_access2_protocol = true;       // EFI_SMM_ACCESS2_PROTOCOL
  bool smm_communication_protocol = true; // EFI_SMM_COMMUNICATION_PROTOCOL
};

// [[fault]]
struct FaultSpec {
  SourceLine line = 0;
  std::string call; // "pei.AllocatePool", "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
  std::optional<std::string> image;  // "S3SaveSmm#1"; nullopt: any image
  std::optional<std::string> target; // protocol, PPI or variable name or GUID; nullopt: any
  std::optional<uint32_t> nth = 1;   // 1-based; nullopt: "all"
  std::string status = "EFI_OUT_OF_RESOURCES";
};

// [[boot]]
enum class BootAction { PeiInstall, Dispatch, DxeInstall, Call, BuildS3Table, Signal, Smi };
enum class CallTarget { GetNicMacAddresses, BoardInfoProtocolSlot, BoardInfoPpiEntry };
enum class TableMemory { Boot, Smram };

inline constexpr uint32_t kNicMacBufferDefaultSize = 32; // GetNicMacAddresses buffers
inline constexpr uint32_t kSlotBufferDefaultSize = 16;   // BOARD_INFO_PROTOCOL.N / _PPI.N
inline constexpr uint8_t kCallBufferFill = 0xAA;

struct S3TableParams {
  uint32_t size = 256;
  uint32_t signature = 0x54335341;
  uint64_t boundary_offset = 0x80;
  uint32_t boundary_value = 0x01558844;
  uint64_t terminator_offset = 0x40;
  // `terminator_offset = "record"`: the offset that puts the end mark on the TableBase field of
  // the shared S3 record (in SMRAM), as a hostile table builder would.
  bool terminator_at_record = false;
  TableMemory table_memory = TableMemory::Boot;
};

struct BootStep {
  SourceLine line = 0;
  BootAction action = BootAction::Dispatch;
  std::string value; // the action's string as written (empty for build_s3_table)
  // call steps only
  CallTarget call_target = CallTarget::GetNicMacAddresses;
  uint32_t slot = 4;                           // slot or entry number; 4 for GetNicMacAddresses
  std::optional<std::vector<uint8_t>> buffer1; // nullopt: default contents (or NULL if *_null)
  std::optional<std::vector<uint8_t>> buffer2;
  bool buffer1_null = false; // "null": pass a NULL pointer
  bool buffer2_null = false;
  // build_s3_table steps only
  S3TableParams s3_table;
};

std::vector<BootStep> DefaultBootScript();

struct Board {
  std::string name;
  std::string description;
  BoardPcd pcd;
  SetupVariable setup;
  HostConfig host;
  std::vector<PciFunction> pci;
  std::vector<SmbusDevice> smbus;
  BmcConfig bmc;
  CpuConfig cpu;
  SmmConfig smm;
  std::vector<HeapRecord> heap; // in HOB order
  BoardTables board_tables;
  S3SaveSmmSettings s3savesmm;
  std::vector<UartConfig> uarts = {UartConfig{}}; // the legacy UART at 0x3F8 always exists
  ServicesConfig services;
  std::vector<FaultSpec> faults;
  std::vector<BootStep> boot = DefaultBootScript();
  std::vector<Expectation> expects; // [[expect]], in file order
};

// All defaults, the default boot script, and an empty name.
Board DefaultBoardModel();

} // namespace boardsim
