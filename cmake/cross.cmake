# Toolchain file: cross-builds with Debian's g++-<triple> for the row of
# cmake/arches.txt that COLONSPLIT_ARCH names (the cross presets set it to
# their own name). The tests run the target's programs under that row's
# emulator (qemu-user), which finds the target's shared libraries under -L.
# Reads: COLONSPLIT_ARCH, the table (cmake/arch.cmake). Sets: the target
# system, compiler, search paths and emulator.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES COLONSPLIT_ARCH)
include(${CMAKE_CURRENT_LIST_DIR}/arch.cmake)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${arch_processor})
# Another compiler for the same target may be given on the command line.
if(NOT CMAKE_CXX_COMPILER)
	set(CMAKE_CXX_COMPILER ${arch_triple}-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${arch_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${arch_emulator} -L /usr/${arch_triple})
