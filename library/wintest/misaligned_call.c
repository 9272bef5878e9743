/*
 * misaligned_call - the thunk of misaligned_call.h, in i686 assembly: a C
 * compiler keeps the stack 16-byte aligned at its own calls, so only a
 * hand-written caller can leave it at 4, 8 or 12 modulo 16.
 */
#include "misaligned_call.h"

#if defined(__i386__)
__asm__(
    ".text\n"
    ".globl _misaligned_call\n"
    "_misaligned_call:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    pushl %ebx\n"
    "    movl 8(%ebp), %eax\n"  /* fn */
    "    movl 12(%ebp), %esi\n" /* args */
    "    movl 16(%ebp), %ecx\n" /* nargs */
    "    movl 20(%ebp), %edx\n" /* pad */
    /* 16-byte aligned, then lowered by (-(pad + 4 * nargs)) mod 16 so
     * that after the arguments are pushed the stack is at pad. */
    "    andl $-16, %esp\n"
    "    subl $64, %esp\n"
    "    leal (%edx,%ecx,4), %edi\n"
    "    negl %edi\n"
    "    andl $15, %edi\n"
    "    subl %edi, %esp\n"
    "    movl %esp, %ebx\n" /* the stack before the arguments */
    "    movl %ecx, %edi\n"
    "1:  testl %edi, %edi\n"
    "    jz 2f\n"
    "    decl %edi\n"
    "    pushl (%esi,%edi,4)\n"
    "    jmp 1b\n"
    "2:  movl 24(%ebp), %edx\n"
    "    movl %esp, %ecx\n"
    "    andl $15, %ecx\n"
    "    movl %ecx, (%edx)\n" /* seen->at_call_mod16 */
    "    call *%eax\n"
    "    movl 24(%ebp), %edx\n"
    "    movl %ebx, %ecx\n"
    "    subl %esp, %ecx\n"
    "    movl %ecx, 4(%edx)\n" /* seen->left */
    "    leal -12(%ebp), %esp\n"
    "    popl %ebx\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebp\n"
    "    ret\n");
#else
/* 64-bit Windows has one calling convention, which keeps the stack
 * aligned: nothing to test there. */
int32_t misaligned_call(void (*fn)(void), const int32_t* args, int32_t nargs, int32_t pad,
                        struct misaligned_stack* seen) {
    (void)fn;
    (void)args;
    (void)nargs;
    (void)pad;
    seen->at_call_mod16 = -1;
    seen->left = -1;
    return -1;
}
#endif
