# Included by package/finish.cmake for a .deb of dynamic programs: makes
# depends, as dpkg-shlibdeps wrote it, true of the target.
# - Debian's cross libraries, named name:arch or name-arch-cross, stand
#   for the target's own package, name.
# - Each package is at least as new as the first to define every symbol
#   version the programs need, as its symbols file on this machine says.
#   dpkg-shlibdeps reads only the versions of the symbols themselves: a
#   version needed with no symbol (GLIBC_ABI_DT_RELR, which packed
#   relative relocations need) escapes it, and a cross library has no
#   symbols file to read.
set(needs "")
file(GLOB programs "${tree}/usr/bin/*")
foreach(prog ${programs})
	execute_process(COMMAND "${CPACK_COLONSPLIT_READELF}" -VW "${prog}"
		OUTPUT_VARIABLE versions COMMAND_ERROR_IS_FATAL ANY)
	string(REGEX MATCHALL "  Name: [^ ]+" names "${versions}")
	list(TRANSFORM names REPLACE "^  Name: " "")
	list(APPEND needs ${names})
endforeach()
list(REMOVE_DUPLICATES needs)
list(TRANSFORM needs REPLACE "\\." "\\\\.")
list(JOIN needs "|" needs)

string(REPLACE ", " ";" entries "${depends}")
set(depends "")
foreach(entry ${entries})
	if(NOT entry MATCHES "^([^ :(|]+)(:[^ (]+)?( \\(>= ([^)]+)\\))?$")
		list(APPEND depends "${entry}")
		continue()
	endif()
	set(package "${CMAKE_MATCH_1}")
	set(least "${CMAKE_MATCH_4}")
	string(REGEX REPLACE "-[a-z0-9]+-cross$" "" package "${package}")
	execute_process(COMMAND dpkg-query --control-path "${package}" symbols
		OUTPUT_VARIABLE symbols OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	string(REGEX REPLACE "\n.*" "" symbols "${symbols}")
	if(needs AND symbols)
		file(STRINGS "${symbols}" defined REGEX "^ (${needs})@")
		foreach(line ${defined})
			string(REGEX REPLACE ".* " "" version "${line}")
			execute_process(COMMAND dpkg --compare-versions "${version}" gt "${least}" RESULT_VARIABLE older)
			if(NOT least OR older EQUAL 0)
				set(least "${version}")
			endif()
		endforeach()
	endif()
	if(least)
		list(APPEND depends "${package} (>= ${least})")
	else()
		list(APPEND depends "${package}")
	endif()
endforeach()
list(JOIN depends ", " depends)
