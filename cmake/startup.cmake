# The start-up layout: the functions that a call's start-up runs, linked
# together at the head of the text, so that a call faults in fewer pages
# of a static program (a dynamic one's start-up is the loader's and the
# shared libraries'). lld 15 or later lays them out from
# cmake/startup.order, which cmake/startup.sh makes (the target
# startup-order); with a linker the builder chose, only if it can.
# Reads: colonsplit_programs, colonsplit_static, the compiler,
#   CMAKE_CXX_FLAGS and CMAKE_EXE_LINKER_FLAGS (a linker chosen there,
#   link-time optimisation), the ordering file.
# Sets: colonsplit_linker, the link options that choose the linker, for
#   the probes and the programs; colonsplit_order, the ordering file;
#   colonsplit_layout, the options that lay the programs out, or where
#   they are not, colonsplit_unlaid: why not;
#   for static programs, the target startup-order, which writes the
#   ordering file anew from them.
set(colonsplit_linker "")
set(colonsplit_layout "")
set(colonsplit_order ${CMAKE_CURRENT_LIST_DIR}/startup.order)
set(colonsplit_unlaid "the programs are linked dynamically")
if(NOT colonsplit_static)
	return()
endif()
list(TRANSFORM colonsplit_programs REPLACE "(.+)" "$<TARGET_FILE:\\1>" OUTPUT_VARIABLE files)
add_custom_target(startup-order COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/startup.sh ${colonsplit_order} ${files} VERBATIM)
add_dependencies(startup-order ${colonsplit_programs})

if(NOT "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}" MATCHES "-fuse-ld=|--ld-path=")
	# lld optimises only LLVM's objects at link time: given GCC's fat
	# ones, it would quietly link their code as compiled, unoptimised and
	# unmapped from the builder's folders.
	if(CMAKE_CXX_COMPILER_ID STREQUAL GNU AND " ${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}" MATCHES " -flto")
		set(colonsplit_unlaid "the build optimises at link time (-flto), which lld cannot do for GCC")
		message(NOTICE "colonsplit: no start-up layout, since ${colonsplit_unlaid}")
		return()
	endif()
	# The newest lld there is, from its version's own folder (GCC has no
	# --ld-path: -B points it at a folder that holds ld.lld).
	file(GLOB llds /usr/lib/llvm-*/bin/ld.lld)
	find_program(path_lld ld.lld NO_CACHE)
	set(best 0)
	foreach(lld ${path_lld} ${llds})
		execute_process(COMMAND ${lld} --version OUTPUT_VARIABLE said ERROR_QUIET)
		if(said MATCHES "LLD ([0-9]+)\\." AND CMAKE_MATCH_1 GREATER_EQUAL 15 AND CMAKE_MATCH_1 GREATER best)
			set(best ${CMAKE_MATCH_1})
			cmake_path(GET lld PARENT_PATH dir)
			set(colonsplit_linker -fuse-ld=lld -B${dir})
		endif()
	endforeach()
	if(NOT colonsplit_linker)
		set(colonsplit_unlaid "no lld 15 or later is found (Debian's lld-16)")
		message(NOTICE "colonsplit: no start-up layout, since ${colonsplit_unlaid}")
		return()
	endif()
endif()

# The probe runs what it links: lld 16 links static PIE for i386 that
# does not start.
set(layout LINKER:--symbol-ordering-file=${colonsplit_order} LINKER:--no-warn-symbol-ordering)
if(NOT DEFINED COLONSPLIT_UNLAID)
	set(why "")
	if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
		set(why "no emulator runs the target's programs to probe it")
	else()
		try_run(ran linked SOURCE_FROM_CONTENT layout.cpp "#include <iostream>
int main() { return std::cout.flush() ? 0 : 1; }"
			COMPILE_DEFINITIONS -fPIE LINK_OPTIONS ${colonsplit_linker} -static-pie ${layout}
			COMPILE_OUTPUT_VARIABLE log)
		if(NOT linked OR log MATCHES "warning|unknown|unrecognized|unsupported|ignored|not supported")
			set(why "the linker does not take --symbol-ordering-file")
		elseif(NOT ran EQUAL 0)
			set(why "a static PIE that this linker lays out does not run")
		endif()
	endif()
	set(COLONSPLIT_UNLAID "${why}" CACHE INTERNAL "Why the programs are not laid out for start-up")
endif()
if(COLONSPLIT_UNLAID)
	set(colonsplit_unlaid "${COLONSPLIT_UNLAID}")
	message(NOTICE "colonsplit: no start-up layout, since ${colonsplit_unlaid}")
	set(colonsplit_linker "")
else()
	set(colonsplit_layout ${layout})
endif()
