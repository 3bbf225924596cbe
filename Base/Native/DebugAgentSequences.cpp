// The two register sequences that talk to an external debug agent. Their register contents are
// the interface, so each is one asm statement with every register named.
#include <Library/CpuLib.h>

VOID AsmIoPortHandOver(UINT32 Edx, CONST VOID *Address, UINT32 Length) {
  // EBX is callee-saved; naming it as an input makes the compiler save and restore it. The
  // memory clobber puts the text in memory before the agent reads it.
  asm volatile("outl %%eax, %%dx"
               :
               : "d"(Edx), "a"(UINT32(reinterpret_cast<UINTN>(Address))), "b"(Length)
               : "memory");
}

UINT16 AsmCpuidReturnSi(UINT32 Eax, UINT32 Ebx, UINT16 Si) {
  // Everything CPUID (or an agent intercepting it) may change is saved and restored around it,
  // so only EAX, which carries the result, differs afterwards.
  UINT32 Result;
#if defined(__x86_64__)
  asm volatile("pushfq\n\t"
               "pushq %%rbx\n\t"
               "pushq %%rcx\n\t"
               "pushq %%rdx\n\t"
               "pushq %%rsi\n\t"
               "movw %%cx, %%si\n\t"
               "movl %%edi, %%ebx\n\t"
               "cpuid\n\t"
               "movzwl %%si, %%eax\n\t"
               "popq %%rsi\n\t"
               "popq %%rdx\n\t"
               "popq %%rcx\n\t"
               "popq %%rbx\n\t"
               "popfq"
               : "=a"(Result)
               : "0"(Eax), "D"(Ebx), "c"(UINT32(Si))
               : "memory");
#else
  asm volatile("pushfl\n\t"
               "pushl %%ebx\n\t"
               "pushl %%ecx\n\t"
               "pushl %%edx\n\t"
               "pushl %%esi\n\t"
               "movw %%cx, %%si\n\t"
               "movl %%edi, %%ebx\n\t"
               "cpuid\n\t"
               "movzwl %%si, %%eax\n\t"
               "popl %%esi\n\t"
               "popl %%edx\n\t"
               "popl %%ecx\n\t"
               "popl %%ebx\n\t"
               "popfl"
               : "=a"(Result)
               : "0"(Eax), "D"(Ebx), "c"(UINT32(Si))
               : "memory");
#endif
  return UINT16(Result);
}
