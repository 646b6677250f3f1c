# Cross build for the receiver: 32-bit little-endian MIPS Linux, Debian's mipsel-linux-gnu compilers.
# MIPS32 release 1 so that older receiver CPUs run the program; Debian's compiler defaults to release 2.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)

set(CMAKE_C_FLAGS_INIT "-march=mips32")
set(CMAKE_CXX_FLAGS_INIT "-march=mips32")

set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Explicit user-mode emulator, so target programs run the same with or without binfmt registration.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L /usr/mipsel-linux-gnu)
