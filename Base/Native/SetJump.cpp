// SetJump and LongJump of a firmware image. They save and restore exactly the registers the
// calling convention preserves across calls, so they are written without a compiler frame.
#include <Library/SetJump.h>

#if defined(__x86_64__)

// Microsoft x64: JumpBuffer in RCX, Value in RDX.
__attribute__((naked)) UINTN SetJump(BASE_LIBRARY_JUMP_BUFFER *) {
  asm volatile("movq %rbx, 0x00(%rcx)\n\t"
               "leaq 8(%rsp), %rax\n\t" // the stack pointer once SetJump has returned
               "movq %rax, 0x08(%rcx)\n\t"
               "movq %rbp, 0x10(%rcx)\n\t"
               "movq %rdi, 0x18(%rcx)\n\t"
               "movq %rsi, 0x20(%rcx)\n\t"
               "movq %r12, 0x28(%rcx)\n\t"
               "movq %r13, 0x30(%rcx)\n\t"
               "movq %r14, 0x38(%rcx)\n\t"
               "movq %r15, 0x40(%rcx)\n\t"
               "movq (%rsp), %rax\n\t" // the return address
               "movq %rax, 0x48(%rcx)\n\t"
               "stmxcsr 0x50(%rcx)\n\t"
               "movdqu %xmm6, 0x58(%rcx)\n\t"
               "movdqu %xmm7, 0x68(%rcx)\n\t"
               "movdqu %xmm8, 0x78(%rcx)\n\t"
               "movdqu %xmm9, 0x88(%rcx)\n\t"
               "movdqu %xmm10, 0x98(%rcx)\n\t"
               "movdqu %xmm11, 0xA8(%rcx)\n\t"
               "movdqu %xmm12, 0xB8(%rcx)\n\t"
               "movdqu %xmm13, 0xC8(%rcx)\n\t"
               "movdqu %xmm14, 0xD8(%rcx)\n\t"
               "movdqu %xmm15, 0xE8(%rcx)\n\t"
               "xorl %eax, %eax\n\t"
               "ret");
}

__attribute__((naked)) VOID LongJump(BASE_LIBRARY_JUMP_BUFFER *, UINTN) {
  asm volatile("movdqu 0x58(%rcx), %xmm6\n\t"
               "movdqu 0x68(%rcx), %xmm7\n\t"
               "movdqu 0x78(%rcx), %xmm8\n\t"
               "movdqu 0x88(%rcx), %xmm9\n\t"
               "movdqu 0x98(%rcx), %xmm10\n\t"
               "movdqu 0xA8(%rcx), %xmm11\n\t"
               "movdqu 0xB8(%rcx), %xmm12\n\t"
               "movdqu 0xC8(%rcx), %xmm13\n\t"
               "movdqu 0xD8(%rcx), %xmm14\n\t"
               "movdqu 0xE8(%rcx), %xmm15\n\t"
               "ldmxcsr 0x50(%rcx)\n\t"
               "movq 0x00(%rcx), %rbx\n\t"
               "movq 0x08(%rcx), %rsp\n\t"
               "movq 0x10(%rcx), %rbp\n\t"
               "movq 0x18(%rcx), %rdi\n\t"
               "movq 0x20(%rcx), %rsi\n\t"
               "movq 0x28(%rcx), %r12\n\t"
               "movq 0x30(%rcx), %r13\n\t"
               "movq 0x38(%rcx), %r14\n\t"
               "movq 0x40(%rcx), %r15\n\t"
               "movq %rdx, %rax\n\t"
               "jmpq *0x48(%rcx)");
}

#else

// cdecl: JumpBuffer at 4(%esp), Value at 8(%esp).
__attribute__((naked)) UINTN SetJump(BASE_LIBRARY_JUMP_BUFFER *) {
  asm volatile("movl 4(%esp), %ecx\n\t"
               "movl %ebx, 0(%ecx)\n\t"
               "movl %esi, 4(%ecx)\n\t"
               "movl %edi, 8(%ecx)\n\t"
               "movl %ebp, 12(%ecx)\n\t"
               "leal 4(%esp), %eax\n\t" // the stack pointer once SetJump has returned
               "movl %eax, 16(%ecx)\n\t"
               "movl (%esp), %eax\n\t" // the return address
               "movl %eax, 20(%ecx)\n\t"
               "xorl %eax, %eax\n\t"
               "ret");
}

__attribute__((naked)) VOID LongJump(BASE_LIBRARY_JUMP_BUFFER *, UINTN) {
  asm volatile("movl 4(%esp), %ecx\n\t"
               "movl 8(%esp), %eax\n\t"
               "movl 0(%ecx), %ebx\n\t"
               "movl 4(%ecx), %esi\n\t"
               "movl 8(%ecx), %edi\n\t"
               "movl 12(%ecx), %ebp\n\t"
               "movl 16(%ecx), %esp\n\t"
               "jmpl *20(%ecx)");
}

#endif
