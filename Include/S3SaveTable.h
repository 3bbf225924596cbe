// The S3 save library's shared private record, the parts of the S3 save table header that the
// library reads, and the SMM communication message that hands the record into SMRAM.
#pragma once
#include <InterfaceBase.h>
#ifdef __cplusplus
#include <Pi/PiSmm.h>
#endif

// Shared by every module that carries the library; its address is published in a PCD.
typedef struct TarnS3LibPrivateData {
  UINT8 Locked; // set at ready-to-lock
  UINT8 Closed; // set once the table has been handed over
  UINT8 Reserved[6];
  EFI_PHYSICAL_ADDRESS TableBase; // set by the table builder
} TarnS3LibPrivateData;
BOARD_STATIC_ASSERT(sizeof(TarnS3LibPrivateData) == 16);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(TarnS3LibPrivateData, Locked) == 0);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(TarnS3LibPrivateData, Closed) == 1);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(TarnS3LibPrivateData, TableBase) == 8);

#ifdef __cplusplus
inline constexpr UINT32 S3_TABLE_SIGNATURE = 0x54335341; // "AS3T"
inline constexpr UINT32 S3_TABLE_BOUNDARY_VALUE = 0x01558844;
inline constexpr UINT16 S3_TABLE_END_MARK = 0xFFFF;
#else
#define S3_TABLE_SIGNATURE ((UINT32)0x54335341) // "AS3T"
#define S3_TABLE_BOUNDARY_VALUE ((UINT32)0x01558844)
#define S3_TABLE_END_MARK ((UINT16)0xFFFF)
#endif

// Header bytes 4..31 belong to the table builder.
typedef struct S3_TABLE_HEADER {
  UINT32 Signature;
  UINT8 BuilderData[28];
  UINT64 BoundaryOffset;   // from the table start: u32 S3_TABLE_BOUNDARY_VALUE
  UINT64 TerminatorOffset; // from the table start: u16 end mark written at close
} S3_TABLE_HEADER;
BOARD_STATIC_ASSERT(sizeof(S3_TABLE_HEADER) == 48);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HEADER, Signature) == 0);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HEADER, BoundaryOffset) == 32);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HEADER, TerminatorOffset) == 40);

#ifdef __cplusplus
inline constexpr UINT32 S3_TABLE_HANDOVER_FUNCTION = 1;
#else
#define S3_TABLE_HANDOVER_FUNCTION ((UINT32)1)
#endif

// An EFI_SMM_COMMUNICATE_HEADER (PI specification, volume 4) followed by its 16 data bytes.
typedef struct S3_TABLE_HANDOVER_MESSAGE {
  EFI_GUID HeaderGuid;  // S3_SAVE_COMMUNICATE_GUID
  UINT64 MessageLength; // 16
  UINT32 Function;      // S3_TABLE_HANDOVER_FUNCTION
  UINT32 Reserved;
  EFI_PHYSICAL_ADDRESS RecordAddress; // the TarnS3LibPrivateData
} S3_TABLE_HANDOVER_MESSAGE;
BOARD_STATIC_ASSERT(sizeof(S3_TABLE_HANDOVER_MESSAGE) == 40);
#ifdef __cplusplus
// (In C, EFI_SMM_COMMUNICATE_HEADER lives in MdePkg's Protocol/SmmCommunication.h, which this
// header does not pull in; the offsets below pin the same layout.)
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, MessageLength) ==
                    BOARD_OFFSET_OF(EFI_SMM_COMMUNICATE_HEADER, MessageLength));
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, Function) ==
                    BOARD_OFFSET_OF(EFI_SMM_COMMUNICATE_HEADER, Data));
#endif
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, MessageLength) == 16);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, Function) == 24);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, Reserved) == 28);
BOARD_STATIC_ASSERT(BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, RecordAddress) == 32);
#ifdef __cplusplus
inline constexpr UINT64 S3_TABLE_HANDOVER_DATA_SIZE =
    sizeof(S3_TABLE_HANDOVER_MESSAGE) - BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, Function);
#else
#define S3_TABLE_HANDOVER_DATA_SIZE                                                                \
  ((UINT64)(sizeof(S3_TABLE_HANDOVER_MESSAGE) -                                                    \
            BOARD_OFFSET_OF(S3_TABLE_HANDOVER_MESSAGE, Function)))
#endif
