# The architecture table, cmake/arches.txt, keyed by Debian name, for the
# toolchain file, the packaging and the tests.
# Reads: the table; COLONSPLIT_ARCH, the row's Debian name (a cross
#   preset sets it to its own name); where unset, the row of the
#   target's processor (a build for the build machine, or by a
#   toolchain of the builder's own).
# Sets: arch_debian, arch_triple, arch_processor, arch_emulator and
#   arch_rpm of that row; arch_names, the Debian names of all rows. A
#   name given with no row is an error; a target with no row leaves them
#   empty, and each tool names the architecture as it would by itself.
include_guard(GLOBAL)
block(PROPAGATE arch_debian arch_triple arch_processor arch_emulator arch_rpm arch_names)
set(arch "${COLONSPLIT_ARCH}")
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/arches.txt" rows REGEX "^[^#]")
set(arch_names "")
foreach(row ${rows})
	string(REGEX REPLACE "[ \t]+" ";" row "${row}")
	list(GET row 0 name)
	list(GET row 2 processor)
	list(APPEND arch_names ${name})
	if(NOT COLONSPLIT_ARCH AND processor STREQUAL "${CMAKE_SYSTEM_PROCESSOR}")
		set(arch ${name})
	endif()
	if(name STREQUAL "${arch}")
		foreach(column debian triple processor emulator rpm)
			list(POP_FRONT row arch_${column})
		endforeach()
	endif()
endforeach()
if(COLONSPLIT_ARCH AND NOT arch_debian)
	list(JOIN arch_names ", " names)
	message(FATAL_ERROR "COLONSPLIT_ARCH is '${COLONSPLIT_ARCH}', which names no row of cmake/arches.txt: ${names}")
endif()
endblock()
