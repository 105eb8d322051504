# Cross build for 32-bit x86 Linux with Debian's GCC cross compiler (g++-i686-linux-gnu); the
# scalar lanes. The doubles are kept in SSE2 registers: the default x87 arithmetic rounds to
# 64-bit significands and gives other sums, other grid corners and another picture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(VEX_TARGET_ROOT /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${VEX_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# An x86-64 Linux kernel runs 32-bit programs itself: the target's own loader starts them with
# the target's libraries. (qemu-i386 would offer the host's AVX2 and take many minutes a
# picture.)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEX_TARGET_ROOT}/lib/ld-linux.so.2 --library-path
    ${VEX_TARGET_ROOT}/lib)
