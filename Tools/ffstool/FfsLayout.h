// On-disk layouts of the PI specification, volume 3: firmware volume header and block map,
// FFS2 file header, common section header, and the constants the writer and the reader share.
// Every multi-byte field is little-endian, as on the platforms that use these formats.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

namespace fwfile {

static_assert(std::endian::native == std::endian::little, "the layouts are written as-is");

// EFI_FV_FILETYPE_* (PI volume 3, 2.1.4.1).
enum class FileType : std::uint8_t {
  Raw = 0x01,
  Freeform = 0x02,
  SecurityCore = 0x03,
  PeiCore = 0x04,
  DxeCore = 0x05,
  Peim = 0x06,
  Driver = 0x07,
  Application = 0x09,
  Smm = 0x0A,
  FirmwareVolumeImage = 0x0B,
  CombinedSmmDxe = 0x0C,
  SmmCore = 0x0D,
  Pad = 0xF0,
};

// EFI_SECTION_* (PI volume 3, 2.1.5.1).
enum class SectionType : std::uint8_t {
  GuidDefined = 0x02,
  Pe32 = 0x10,
  DxeDepex = 0x13,
  Version = 0x14,
  UserInterface = 0x15,
  FirmwareVolumeImage = 0x17,
  Raw = 0x19,
  PeiDepex = 0x1B,
  SmmDepex = 0x1C,
};

// Dependency expression opcodes (PI volume 2, 10.7, and volume 1 for the PEI form).
enum class DepexOp : std::uint8_t {
  Before = 0x00,
  After = 0x01,
  Push = 0x02,
  And = 0x03,
  Or = 0x04,
  Not = 0x05,
  True = 0x06,
  False = 0x07,
  End = 0x08,
  Sor = 0x09,
};

// EFI_FFS_FILE_HEADER.
struct FileHeader {
  std::uint8_t Name[16];
  std::uint8_t HeaderChecksum;
  std::uint8_t FileChecksum;
  std::uint8_t Type;
  std::uint8_t Attributes;
  std::uint8_t Size[3];
  std::uint8_t State;
};
static_assert(sizeof(FileHeader) == 24);
inline constexpr std::uint8_t kAttribLargeFile = 0x01; // FFS3 header with a 64-bit size
static_assert(offsetof(FileHeader, HeaderChecksum) == 16);
static_assert(offsetof(FileHeader, Type) == 18);
static_assert(offsetof(FileHeader, Size) == 20);
static_assert(offsetof(FileHeader, State) == 23);

// EFI_FFS_FILE_ATTRIBUTES and EFI_FFS_FILE_STATE.
inline constexpr std::uint8_t kAttribDataAlignmentShift = 3; // FFS_ATTRIB_DATA_ALIGNMENT, 3 bits
inline constexpr std::uint8_t kAttribDataAlignmentMask = 0x38;
inline constexpr std::uint8_t kAttribChecksum = 0x40;
inline constexpr std::uint8_t kFixedFileChecksum = 0xAA; // FFS_FIXED_CHECKSUM
inline constexpr std::uint8_t kStateHeaderConstruction = 0x01;
inline constexpr std::uint8_t kStateHeaderValid = 0x02;
inline constexpr std::uint8_t kStateDataValid = 0x04;
inline constexpr std::uint8_t kStateDeleted = 0x10;
inline constexpr std::uint8_t kStateHeaderInvalid = 0x20;
// A complete file in a volume whose erased bytes read 0xFF: the state bits are inverted.
inline constexpr std::uint8_t kStateValidErasePolarity1 =
    static_cast<std::uint8_t>(~(kStateHeaderConstruction | kStateHeaderValid | kStateDataValid));
inline constexpr std::size_t kMaxFileSize = 0xFFFFFF; // larger files need the FFS3 header

// File data alignments that the 3-bit FFS_ATTRIB_DATA_ALIGNMENT field can express.
inline constexpr std::uint32_t kDataAlignments[] = {1, 16, 128, 512, 1024, 4096, 32768, 65536};

// EFI_COMMON_SECTION_HEADER; sections start on 4-byte boundaries of the file.
struct SectionHeader {
  std::uint8_t Size[3];
  std::uint8_t Type;
};
static_assert(sizeof(SectionHeader) == 4);
inline constexpr std::size_t kSectionAlignment = 4;
inline constexpr std::size_t kMaxSectionSize =
    0xFFFFFF; // 0xFFFFFF itself means the extended header

// EFI_GUID_DEFINED_SECTION: the common header, the GUID of the processing, where the data starts
// (from the section start) and EFI_GUIDED_SECTION_* attributes.
struct GuidDefinedSectionHeader {
  SectionHeader Common;
  std::uint8_t SectionDefinitionGuid[16];
  std::uint16_t DataOffset;
  std::uint16_t Attributes;
};
static_assert(sizeof(GuidDefinedSectionHeader) == 24);
static_assert(offsetof(GuidDefinedSectionHeader, DataOffset) == 20);
inline constexpr std::uint16_t kGuidedSectionProcessingRequired = 0x0001;
inline constexpr std::uint16_t kGuidedSectionAuthStatusValid = 0x0002;
inline constexpr std::size_t kFileAlignment = 8; // files start on 8-byte boundaries of a volume

// EFI_FIRMWARE_VOLUME_HEADER without its block map.
struct VolumeHeader {
  std::uint8_t ZeroVector[16];
  std::uint8_t FileSystemGuid[16];
  std::uint64_t FvLength;
  std::uint32_t Signature;
  std::uint32_t Attributes;
  std::uint16_t HeaderLength;
  std::uint16_t Checksum;
  std::uint16_t ExtHeaderOffset;
  std::uint8_t Reserved;
  std::uint8_t Revision;
};
static_assert(sizeof(VolumeHeader) == 56);
static_assert(offsetof(VolumeHeader, FvLength) == 32);
static_assert(offsetof(VolumeHeader, Signature) == 40);
static_assert(offsetof(VolumeHeader, Attributes) == 44);
static_assert(offsetof(VolumeHeader, HeaderLength) == 48);
static_assert(offsetof(VolumeHeader, Checksum) == 50);
static_assert(offsetof(VolumeHeader, Revision) == 55);

// EFI_FV_BLOCK_MAP_ENTRY; a zero entry ends the map.
struct BlockMapEntry {
  std::uint32_t NumBlocks;
  std::uint32_t Length;
};
static_assert(sizeof(BlockMapEntry) == 8);

inline constexpr std::uint32_t kVolumeSignature = 0x4856465F; // "_FVH"
inline constexpr std::uint8_t kVolumeRevision = 2;            // EFI_FVH_REVISION
// EFI_FVB_ATTRIBUTES_2 bits of a readable, memory-mapped volume with erase polarity 1.
inline constexpr std::uint32_t kFvbReadEnabledCap = 0x00000002;
inline constexpr std::uint32_t kFvbReadStatus = 0x00000004;
inline constexpr std::uint32_t kFvbMemoryMapped = 0x00000400;
inline constexpr std::uint32_t kFvbErasePolarity = 0x00000800;
inline constexpr std::uint32_t kFvbAlignmentShift = 16; // EFI_FVB2_ALIGNMENT: log2 of the alignment
inline constexpr std::uint8_t kErasedByte = 0xFF;

} // namespace fwfile
