# What the shipping programs get: each hardening and size flag that this
# toolchain takes. A flag it takes with only a warning (as Debian 12's
# linker for ARM takes -z pack-relative-relocs, and ignores it) counts as
# missing.
# Reads: colonsplit_static, COLONSPLIT_SANITIZE, colonsplit_linker,
#   colonsplit_layout and colonsplit_order (cmake/startup.cmake), the
#   target colonsplit_base.
# Sets: the target colonsplit_ship, the COLONSPLIT_HAVE_<flag> results,
# and ship(target), which makes a program a shipping one.
include(CheckCXXSourceCompiles)
include(CheckPIESupported)
add_library(colonsplit_ship INTERFACE)
target_link_libraries(colonsplit_ship INTERFACE colonsplit_base)
target_link_options(colonsplit_ship INTERFACE ${colonsplit_linker} ${colonsplit_layout})
if(colonsplit_layout)
	set_property(TARGET colonsplit_ship PROPERTY INTERFACE_LINK_DEPENDS ${colonsplit_order})
endif()
function(ship_if_taken kind var)
	set(CMAKE_REQUIRED_LINK_OPTIONS ${colonsplit_linker})
	if(kind STREQUAL LINK)
		list(APPEND CMAKE_REQUIRED_LINK_OPTIONS ${ARGN})
	else()
		list(JOIN ARGN " " CMAKE_REQUIRED_FLAGS)
	endif()
	check_cxx_source_compiles("int main() { return 0; }" ${var}
		FAIL_REGEX "warning|unknown|unrecognized|unsupported|ignored|not supported")
	if(${var} AND kind STREQUAL LINK)
		target_link_options(colonsplit_ship INTERFACE ${ARGN})
	elseif(${var})
		target_compile_options(colonsplit_ship INTERFACE ${ARGN})
	endif()
endfunction()

target_compile_options(colonsplit_ship INTERFACE
	# Fortify needs optimisation; an -O0 build would only warn.
	$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>
	# Kept in the binary: readelf -p .GCC.command.line tells how it was
	# built. (Clang's record would hold the build folder's path, and the
	# binary would differ from folder to folder.)
	$<$<CXX_COMPILER_ID:GNU>:-frecord-gcc-switches>)
ship_if_taken(COMPILE COLONSPLIT_HAVE_SSP -fstack-protector-strong)
ship_if_taken(COMPILE COLONSPLIT_HAVE_CLASH -fstack-clash-protection)
# Control-flow protection, as each architecture has it. Our own code gets
# its landing pads (and on ARM its signed return addresses); the linked
# program is marked for them only where every object is, the C library's
# too.
ship_if_taken(COMPILE COLONSPLIT_HAVE_CF -fcf-protection)
ship_if_taken(COMPILE COLONSPLIT_HAVE_BRANCH -mbranch-protection=standard)
ship_if_taken(COMPILE COLONSPLIT_HAVE_SECTIONS -ffunction-sections -fdata-sections)
ship_if_taken(LINK COLONSPLIT_HAVE_GC LINKER:--gc-sections)
ship_if_taken(LINK COLONSPLIT_HAVE_RELRO LINKER:-z,relro)
ship_if_taken(LINK COLONSPLIT_HAVE_NOW LINKER:-z,now)
ship_if_taken(LINK COLONSPLIT_HAVE_NOEXECSTACK LINKER:-z,noexecstack)
# No page of the file that is mapped executable holds anything but code
# (GNU ld does it by itself on x86-64; lld, not).
ship_if_taken(LINK COLONSPLIT_HAVE_SEPARATE_CODE LINKER:-z,separate-code)

# Fewer relocations to apply at start-up. A dynamic program that packs
# them must also name the version of the C library that reads them, or
# the loader refuses to start it; some linkers leave that out (mold 1.10).
if(NOT colonsplit_static AND NOT DEFINED COLONSPLIT_RELR_LOADS)
	set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/relr)
	try_compile(linked SOURCE_FROM_CONTENT relr.cpp "int main() { return 0; }"
		LINK_OPTIONS LINKER:-z,pack-relative-relocs COPY_FILE ${probe})
	set(loads FALSE)
	if(linked AND CMAKE_READELF)
		execute_process(COMMAND ${CMAKE_READELF} -dV ${probe} OUTPUT_VARIABLE dyn)
		if(NOT dyn MATCHES "\\(RELR\\)" OR dyn MATCHES "GLIBC_ABI_DT_RELR")
			set(loads TRUE)
		endif()
	endif()
	set(COLONSPLIT_RELR_LOADS ${loads} CACHE INTERNAL "Does the loader take this linker's packed relocations?")
endif()
if(colonsplit_static OR COLONSPLIT_RELR_LOADS)
	ship_if_taken(LINK COLONSPLIT_HAVE_RELR LINKER:-z,pack-relative-relocs)
endif()

if(colonsplit_static)
	# Static PIE: no dynamic loader to run, and the address space is still
	# randomised. (A -pie after it would undo it: no check_pie_supported.)
	target_link_options(colonsplit_ship INTERFACE -static-pie)
else()
	check_pie_supported()
endif()
if(COLONSPLIT_SANITIZE)
	set(san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
	target_compile_options(colonsplit_ship INTERFACE ${san})
	target_link_options(colonsplit_ship INTERFACE ${san})
endif()
if(NOT CMAKE_OBJCOPY)
	message(NOTICE "colonsplit: no objcopy for this target: the programs keep their .comment section")
endif()

function(ship target)
	target_link_libraries(${target} PRIVATE colonsplit_ship)
	set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
	# The static libraries' compiler versions: nothing a program needs.
	if(CMAKE_OBJCOPY)
		add_custom_command(TARGET ${target} POST_BUILD
			COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>)
	endif()
endfunction()
