# What the shipping programs get: each hardening and size flag that this
# toolchain takes. A flag it takes with only a warning (as Debian 12's
# linker for ARM takes -z pack-relative-relocs, and ignores it) counts as
# missing. The builder's own flags come first; ours are never weaker,
# whatever the build type.
# Reads: colonsplit_static, COLONSPLIT_SANITIZE, colonsplit_linker,
#   colonsplit_layout and colonsplit_order (cmake/startup.cmake), the
#   target colonsplit_base, CMAKE_BUILD_TYPE and the flags of the build.
# Sets: the target colonsplit_ship, the COLONSPLIT_HAVE_<flag> results,
# colonsplit_unfortified (why the programs are not fortified, where they
# are not), and ship(target), which makes a program a shipping one.
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

# Fortify needs optimisation, which an -O0 build lacks (it would only
# warn): wherever the build optimises, by its type's flags or by the
# builder's own (a distribution's, under the type None), over any level
# the builder asked for.
string(TOUPPER "${CMAKE_BUILD_TYPE}" type)
string(REGEX MATCHALL "(^| )-O[^ ]*" levels " ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${type}}")
list(POP_BACK levels level)
set(colonsplit_unfortified "")
if(COLONSPLIT_SANITIZE)
	set(colonsplit_unfortified "the sanitizers take the place of fortify")
elseif(NOT level OR level MATCHES "-O0$")
	set(colonsplit_unfortified "the build does not optimise, which fortify needs")
else()
	target_compile_options(colonsplit_ship INTERFACE -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3)
endif()
# Kept in the binary: readelf -p .GCC.command.line tells how it was
# built. (Clang's record would hold the build folder's path, and the
# binary would differ from folder to folder.)
target_compile_options(colonsplit_ship INTERFACE $<$<CXX_COMPILER_ID:GNU>:-frecord-gcc-switches>)
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

# Fewer relocations for a static program to apply at start-up. Not for a
# dynamic one: it would need the C library's GLIBC_ABI_DT_RELR, a version
# with no symbol, which dpkg-shlibdeps cannot see, and a distribution's
# package would depend on too old a C library.
if(colonsplit_static)
	ship_if_taken(LINK COLONSPLIT_HAVE_RELR LINKER:-z,pack-relative-relocs)
endif()

# Every program, the test drivers too, is PIE (CMAKE_POSITION_INDEPENDENT_CODE).
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
	# The static libraries' compiler versions: nothing a program needs.
	if(CMAKE_OBJCOPY)
		add_custom_command(TARGET ${target} POST_BUILD
			COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>)
	endif()
endfunction()
