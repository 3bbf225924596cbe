// LongJump of a host image; the matching SetJump is a macro (Library/SetJump.h). The builtin
// is sanitizer-aware: AddressSanitizer unpoisons the abandoned frames before the jump.
#include <Library/SetJump.h>

VOID LongJump(BASE_LIBRARY_JUMP_BUFFER *JumpBuffer, UINTN Value) {
  JumpBuffer->Value = Value;
  __builtin_longjmp(JumpBuffer->Frame, 1);
}
