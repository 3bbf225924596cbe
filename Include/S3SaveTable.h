// The S3 save library's shared private record, the parts of the S3 save table header that the
// library reads, and the SMM communication message that hands the record into SMRAM.
#pragma once
#include <Base.h>
#include <Pi/PiSmm.h>

// Shared by every module that carries the library; its address is published in a PCD.
struct TarnS3LibPrivateData {
  UINT8 Locked; // set at ready-to-lock
  UINT8 Closed; // set once the table has been handed over
  UINT8 Reserved[6];
  EFI_PHYSICAL_ADDRESS TableBase; // set by the table builder
};
static_assert(sizeof(TarnS3LibPrivateData) == 16);
static_assert(__builtin_offsetof(TarnS3LibPrivateData, Locked) == 0);
static_assert(__builtin_offsetof(TarnS3LibPrivateData, Closed) == 1);
static_assert(__builtin_offsetof(TarnS3LibPrivateData, TableBase) == 8);

inline constexpr UINT32 S3_TABLE_SIGNATURE = 0x54335341; // "AS3T"
inline constexpr UINT32 S3_TABLE_BOUNDARY_VALUE = 0x01558844;
inline constexpr UINT16 S3_TABLE_END_MARK = 0xFFFF;

// Header bytes 4..31 belong to the table builder.
struct S3_TABLE_HEADER {
  UINT32 Signature;
  UINT8 BuilderData[28];
  UINT64 BoundaryOffset;   // from the table start: u32 S3_TABLE_BOUNDARY_VALUE
  UINT64 TerminatorOffset; // from the table start: u16 end mark written at close
};
static_assert(sizeof(S3_TABLE_HEADER) == 48);
static_assert(__builtin_offsetof(S3_TABLE_HEADER, Signature) == 0);
static_assert(__builtin_offsetof(S3_TABLE_HEADER, BoundaryOffset) == 32);
static_assert(__builtin_offsetof(S3_TABLE_HEADER, TerminatorOffset) == 40);

inline constexpr UINT32 S3_TABLE_HANDOVER_FUNCTION = 1;

// An EFI_SMM_COMMUNICATE_HEADER (PI specification, volume 4) followed by its 16 data bytes.
struct S3_TABLE_HANDOVER_MESSAGE {
  EFI_GUID HeaderGuid;  // S3_SAVE_COMMUNICATE_GUID
  UINT64 MessageLength; // 16
  UINT32 Function;      // S3_TABLE_HANDOVER_FUNCTION
  UINT32 Reserved;
  EFI_PHYSICAL_ADDRESS RecordAddress; // the TarnS3LibPrivateData
};
static_assert(sizeof(S3_TABLE_HANDOVER_MESSAGE) == 40);
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, MessageLength) ==
              __builtin_offsetof(EFI_SMM_COMMUNICATE_HEADER, MessageLength));
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, Function) ==
              __builtin_offsetof(EFI_SMM_COMMUNICATE_HEADER, Data));
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, MessageLength) == 16);
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, Function) == 24);
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, Reserved) == 28);
static_assert(__builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, RecordAddress) == 32);
inline constexpr UINT64 S3_TABLE_HANDOVER_DATA_SIZE =
    sizeof(S3_TABLE_HANDOVER_MESSAGE) - __builtin_offsetof(S3_TABLE_HANDOVER_MESSAGE, Function);
