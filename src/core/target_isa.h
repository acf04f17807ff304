// Compiling a stretch of a file for an instruction set the rest of the
// program does not assume, between KX_TARGET_BEGIN("avx2") (or any GCC
// target string) and KX_TARGET_END(); the functions in it may run only
// where the processor has that set. GCC and clang spell it differently.
#pragma once

#define KX_TARGET_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define KX_TARGET_BEGIN(isa) \
    KX_TARGET_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define KX_TARGET_END() KX_TARGET_PRAGMA(clang attribute pop)
#else
#define KX_TARGET_BEGIN(isa) KX_TARGET_PRAGMA(GCC push_options) KX_TARGET_PRAGMA(GCC target(isa))
#define KX_TARGET_END() KX_TARGET_PRAGMA(GCC pop_options)
#endif
