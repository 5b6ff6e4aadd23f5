# Cross-building for 64-bit ARM with Debian's g++-aarch64-linux-gnu; the
# tests run the target's programs under qemu-aarch64 (Debian's qemu-user),
# which finds the target's shared libraries, for the test driver, under -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
# Another compiler for the same target may be given on the command line.
if(NOT CMAKE_CXX_COMPILER)
	set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
