# Cross-building with Debian's g++-<triple>, for the target named by the
# GNU triple in CROSS_TRIPLE (aarch64-linux-gnu, arm-linux-gnueabihf,
# i686-linux-gnu, riscv64-linux-gnu, powerpc64le-linux-gnu,
# s390x-linux-gnu). The tests run the target's programs under qemu-user,
# which finds the target's shared libraries under -L.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CROSS_TRIPLE)
if(NOT CROSS_TRIPLE)
	message(FATAL_ERROR "Set CROSS_TRIPLE to the target's GNU triple, e.g. -DCROSS_TRIPLE=aarch64-linux-gnu")
endif()
string(REGEX MATCH "^[^-]+" cpu "${CROSS_TRIPLE}")
# The processor as uname -m names it on the target, and qemu's name for it.
set(qemu ${cpu})
if(cpu STREQUAL arm)
	set(cpu armv7l)
elseif(cpu STREQUAL powerpc64le)
	set(cpu ppc64le)
	set(qemu ppc64le)
elseif(cpu MATCHES "^i[3-6]86$")
	set(qemu i386)
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${cpu})
# Another compiler for the same target may be given on the command line.
if(NOT CMAKE_CXX_COMPILER)
	set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu} -L /usr/${CROSS_TRIPLE})
