# Toolchain file: cross-builds with Debian's g++-<triple> for the target
# whose GNU triple CROSS_TRIPLE names, a row of cmake/arches.txt. The
# tests run the target's programs under that row's emulator (qemu-user),
# which finds the target's shared libraries under -L.
# Reads: CROSS_TRIPLE, the table. Sets: the target system, compiler,
# search paths and emulator.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CROSS_TRIPLE)
include(${CMAKE_CURRENT_LIST_DIR}/arch.cmake)
colonsplit_arch(triple "${CROSS_TRIPLE}")
if(NOT arch_triple)
	file(STRINGS ${colonsplit_arches} rows REGEX "^[^#]")
	list(TRANSFORM rows REPLACE "^[^ ]+ +([^ ]+).*" "\\1")
	list(JOIN rows ", " rows)
	message(FATAL_ERROR "Set CROSS_TRIPLE to the GNU triple of a row of cmake/arches.txt: ${rows}")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${arch_processor})
# Another compiler for the same target may be given on the command line.
if(NOT CMAKE_CXX_COMPILER)
	set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${arch_emulator} -L /usr/${CROSS_TRIPLE})
