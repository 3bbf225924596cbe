// The dynamic PCD database interfaces, PCD_PROTOCOL (DXE and SMM) and PCD_PPI (PEI), with
// their members in EDK II's order. Both tables have the same shape; only the phase differs.
#pragma once
#include <Uefi.h>

using PCD_PROTOCOL_CALLBACK = VOID(EFIAPI *)(CONST EFI_GUID *CallBackGuid, UINTN CallBackToken,
                                             VOID *TokenData, UINTN TokenDataSize);

using PCD_PROTOCOL_SET_SKU = VOID(EFIAPI *)(UINTN SkuId);
using PCD_PROTOCOL_GET8 = UINT8(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET16 = UINT16(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET32 = UINT32(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET64 = UINT64(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET_PTR = VOID *(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET_BOOL = BOOLEAN(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET_SIZE = UINTN(EFIAPI *)(UINTN TokenNumber);
using PCD_PROTOCOL_GET8_EX = UINT8(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET16_EX = UINT16(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET32_EX = UINT32(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET64_EX = UINT64(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET_PTR_EX = VOID *(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET_BOOL_EX = BOOLEAN(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_GET_SIZE_EX = UINTN(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber);
using PCD_PROTOCOL_SET8 = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINT8 Value);
using PCD_PROTOCOL_SET16 = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINT16 Value);
using PCD_PROTOCOL_SET32 = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINT32 Value);
using PCD_PROTOCOL_SET64 = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINT64 Value);
using PCD_PROTOCOL_SET_PTR = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, UINTN *SizeOfBuffer,
                                                  VOID *Buffer);
using PCD_PROTOCOL_SET_BOOL = EFI_STATUS(EFIAPI *)(UINTN TokenNumber, BOOLEAN Value);
using PCD_PROTOCOL_SET8_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                  UINT8 Value);
using PCD_PROTOCOL_SET16_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                   UINT16 Value);
using PCD_PROTOCOL_SET32_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                   UINT32 Value);
using PCD_PROTOCOL_SET64_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                   UINT64 Value);
using PCD_PROTOCOL_SET_PTR_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                     UINTN *SizeOfBuffer, VOID *Buffer);
using PCD_PROTOCOL_SET_BOOL_EX = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                      BOOLEAN Value);
using PCD_PROTOCOL_CALLBACK_ON_SET = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                          PCD_PROTOCOL_CALLBACK CallBackFunction);
using PCD_PROTOCOL_CANCEL_CALLBACK = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN TokenNumber,
                                                          PCD_PROTOCOL_CALLBACK CallBackFunction);
using PCD_PROTOCOL_GET_NEXT_TOKEN = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, UINTN *TokenNumber);
using PCD_PROTOCOL_GET_NEXT_TOKEN_SPACE = EFI_STATUS(EFIAPI *)(CONST EFI_GUID **Guid);

struct PCD_PROTOCOL {
  PCD_PROTOCOL_SET_SKU SetSku;
  PCD_PROTOCOL_GET8 Get8;
  PCD_PROTOCOL_GET16 Get16;
  PCD_PROTOCOL_GET32 Get32;
  PCD_PROTOCOL_GET64 Get64;
  PCD_PROTOCOL_GET_PTR GetPtr;
  PCD_PROTOCOL_GET_BOOL GetBool;
  PCD_PROTOCOL_GET_SIZE GetSize;
  PCD_PROTOCOL_GET8_EX Get8Ex;
  PCD_PROTOCOL_GET16_EX Get16Ex;
  PCD_PROTOCOL_GET32_EX Get32Ex;
  PCD_PROTOCOL_GET64_EX Get64Ex;
  PCD_PROTOCOL_GET_PTR_EX GetPtrEx;
  PCD_PROTOCOL_GET_BOOL_EX GetBoolEx;
  PCD_PROTOCOL_GET_SIZE_EX GetSizeEx;
  PCD_PROTOCOL_SET8 Set8;
  PCD_PROTOCOL_SET16 Set16;
  PCD_PROTOCOL_SET32 Set32;
  PCD_PROTOCOL_SET64 Set64;
  PCD_PROTOCOL_SET_PTR SetPtr;
  PCD_PROTOCOL_SET_BOOL SetBool;
  PCD_PROTOCOL_SET8_EX Set8Ex;
  PCD_PROTOCOL_SET16_EX Set16Ex;
  PCD_PROTOCOL_SET32_EX Set32Ex;
  PCD_PROTOCOL_SET64_EX Set64Ex;
  PCD_PROTOCOL_SET_PTR_EX SetPtrEx;
  PCD_PROTOCOL_SET_BOOL_EX SetBoolEx;
  PCD_PROTOCOL_CALLBACK_ON_SET CallbackOnSet;
  PCD_PROTOCOL_CANCEL_CALLBACK CancelCallback;
  PCD_PROTOCOL_GET_NEXT_TOKEN GetNextToken;
  PCD_PROTOCOL_GET_NEXT_TOKEN_SPACE GetNextTokenSpace;
};
static_assert(sizeof(PCD_PROTOCOL) == 31 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Get8) == 1 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Get32) == 3 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Get64) == 4 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Set8) == 15 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Set32) == 17 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PROTOCOL, Set64) == 18 * sizeof(void *));

// PCD_PPI: the same members, types and order as PCD_PROTOCOL, installed as a PPI in PEI.
struct PCD_PPI : PCD_PROTOCOL {};
static_assert(sizeof(PCD_PPI) == 31 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Get8) == 1 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Get32) == 3 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Get64) == 4 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Set8) == 15 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Set32) == 17 * sizeof(void *));
static_assert(__builtin_offsetof(PCD_PPI, Set64) == 18 * sizeof(void *));
