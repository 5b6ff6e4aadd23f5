# The architecture table, cmake/arches.txt, for the toolchain file, the
# packaging and the tests.
# Reads: the table. Defines colonsplit_arch(column value), which sets
# arch_debian, arch_triple, arch_processor, arch_emulator and arch_rpm
# from the row whose column (one of those names, without arch_) holds
# value; where no row does, all are empty, and each tool names the
# architecture as it would by itself.
include_guard(GLOBAL)
set(colonsplit_arches "${CMAKE_CURRENT_LIST_DIR}/arches.txt")
function(colonsplit_arch column value)
	set(columns debian triple processor emulator rpm)
	file(STRINGS "${colonsplit_arches}" rows REGEX "^[^#]")
	foreach(name ${columns})
		set(arch_${name} "" PARENT_SCOPE)
	endforeach()
	list(FIND columns ${column} i)
	foreach(row ${rows})
		string(REGEX REPLACE "[ \t]+" ";" row "${row}")
		list(GET row ${i} cell)
		if(cell STREQUAL value)
			foreach(name ${columns})
				list(POP_FRONT row arch_${name})
				set(arch_${name} "${arch_${name}}" PARENT_SCOPE)
			endforeach()
			return()
		endif()
	endforeach()
endfunction()
