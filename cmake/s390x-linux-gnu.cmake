# Cross build for Linux s390x, a 64-bit big-endian processor, with Debian's GCC cross compiler
# (g++-s390x-linux-gnu); it builds with the scalar lanes and runs under qemu-user (qemu-s390x).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(VEX_TARGET_ROOT /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${VEX_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(VEX_QEMU_S390X qemu-s390x REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEX_QEMU_S390X} -L ${VEX_TARGET_ROOT})
