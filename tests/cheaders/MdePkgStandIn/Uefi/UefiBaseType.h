/* The few MdePkg names the board's interface headers use in C, laid out as the UEFI
   specification (2.3.1) defines them; a real platform build takes MdePkg itself. Strict C99:
   STATIC_ASSERT is a negative-size array when it fails, not C11's _Static_assert. */
#ifndef STAND_IN_UEFI_BASE_TYPE_H
#define STAND_IN_UEFI_BASE_TYPE_H

#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
typedef unsigned long long UINTN;
#elif defined(__i386__)
#define EFIAPI __attribute__((cdecl))
typedef unsigned int UINTN;
#else
#error "unsupported architecture"
#endif

typedef unsigned char UINT8;
typedef unsigned short UINT16;
typedef unsigned int UINT32;
typedef unsigned long long UINT64;
typedef unsigned char BOOLEAN;
typedef char CHAR8;
typedef unsigned short CHAR16;
#define VOID void
#define CONST const

typedef UINTN EFI_STATUS;
typedef UINT64 EFI_PHYSICAL_ADDRESS;

typedef struct {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
} EFI_GUID;

typedef struct _LIST_ENTRY LIST_ENTRY;
struct _LIST_ENTRY {
  LIST_ENTRY *ForwardLink;
  LIST_ENTRY *BackLink;
};

#define OFFSET_OF(TYPE, Field) ((UINTN) __builtin_offsetof(TYPE, Field))
#define STAND_IN_JOIN2(A, B) A##B
#define STAND_IN_JOIN(A, B) STAND_IN_JOIN2(A, B)
#define STATIC_ASSERT(Expression, Message)                                                         \
  typedef char STAND_IN_JOIN(StandInStaticAssert, __COUNTER__)[(Expression) ? 1 : -1]

#endif
