/*
 * misaligned_call.h - calls a 32-bit stdcall function with the stack at a
 * chosen alignment, as a caller that keeps only 4-byte alignment (Visual
 * Basic, older compilers) may leave it. i686 only.
 */
#ifndef KESTRO_MISALIGNED_CALL_H
#define KESTRO_MISALIGNED_CALL_H

#include <stdint.h>

/* What the call saw: the stack pointer modulo 16 at the call instruction,
 * and the bytes the callee left on the stack (0 when it removed exactly its
 * arguments, as stdcall does). */
struct misaligned_stack {
    int32_t at_call_mod16;
    int32_t left;
};

/* Pushes args[nargs - 1] .. args[0] so that the stack pointer is `pad`
 * (0, 4, 8 or 12) modulo 16 at the call, calls `fn` and returns its
 * result. */
int32_t misaligned_call(void (*fn)(void), const int32_t* args, int32_t nargs, int32_t pad,
                        struct misaligned_stack* seen);

#endif /* KESTRO_MISALIGNED_CALL_H */
