// Saving a processor context and resuming it later from deeper in the call chain.
//
//   if (SetJump(&Context) == 0) { ...; LongJump(&Context, 1); }   // LongJump resumes SetJump
//
// SetJump returns 0 when it saves the context and Value when LongJump resumes it. Value must
// not be 0, and the function that called SetJump must not have returned in between.
#pragma once
#include <Base.h>

#if defined(BOARDFW_HOST)
// The compiler's builtin has to run in the frame it saves, so the host form is a macro.
struct BASE_LIBRARY_JUMP_BUFFER {
  void *Frame[5];
  UINTN Value;
};
#define SetJump(JumpBuffer)                                                                        \
  (__builtin_setjmp((JumpBuffer)->Frame) == 0 ? UINTN(0) : (JumpBuffer)->Value)
#else
#if defined(__x86_64__)
// The registers the Microsoft x64 convention preserves across calls, the stack pointer and the
// resume address.
struct BASE_LIBRARY_JUMP_BUFFER {
  UINT64 Rbx;
  UINT64 Rsp;
  UINT64 Rbp;
  UINT64 Rdi;
  UINT64 Rsi;
  UINT64 R12;
  UINT64 R13;
  UINT64 R14;
  UINT64 R15;
  UINT64 Rip;
  UINT64 MxCsr;
  UINT8 XmmBuffer[160]; // XMM6 to XMM15
};
static_assert(sizeof(BASE_LIBRARY_JUMP_BUFFER) == 248);
static_assert(__builtin_offsetof(BASE_LIBRARY_JUMP_BUFFER, Rip) == 0x48 &&
              __builtin_offsetof(BASE_LIBRARY_JUMP_BUFFER, MxCsr) == 0x50 &&
              __builtin_offsetof(BASE_LIBRARY_JUMP_BUFFER, XmmBuffer) == 0x58);
#else
struct BASE_LIBRARY_JUMP_BUFFER {
  UINT32 Ebx;
  UINT32 Esi;
  UINT32 Edi;
  UINT32 Ebp;
  UINT32 Esp;
  UINT32 Eip;
};
static_assert(sizeof(BASE_LIBRARY_JUMP_BUFFER) == 24);
#endif
__attribute__((returns_twice)) UINTN SetJump(BASE_LIBRARY_JUMP_BUFFER *JumpBuffer);
#endif

[[noreturn]] VOID LongJump(BASE_LIBRARY_JUMP_BUFFER *JumpBuffer, UINTN Value);
