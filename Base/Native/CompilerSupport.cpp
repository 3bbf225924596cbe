// The compiler turns structure copies and large initialisations into calls of these four C
// routines, which a freestanding firmware image must provide itself.
#include <Library/BaseMemoryLib.h>

extern "C" {

void *memcpy(void *Destination, const void *Source, __SIZE_TYPE__ Count) {
  return CopyMem(Destination, Source, Count);
}

void *memmove(void *Destination, const void *Source, __SIZE_TYPE__ Count) {
  return CopyMem(Destination, Source, Count);
}

void *memset(void *Destination, int Value, __SIZE_TYPE__ Count) {
  return SetMem(Destination, Count, UINT8(Value));
}

int memcmp(const void *Left, const void *Right, __SIZE_TYPE__ Count) {
  return int(CompareMem(Left, Right, Count));
}
}
