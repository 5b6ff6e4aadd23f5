# Included by package/cpack.cmake: what the programs carry of others' code,
# or, linked dynamically, what they need at run time. A static program's
# parts are the files its linker read (recorded at link time in
# <program>.inputs), named after the library each belongs to; their
# versions, and the packages that hold them, come from the build
# machine's package database (dpkg). Where that cannot tell, no version is
# written.
#
# Sets parts (the libraries, in a fixed order) and, for each part p:
# part_<p>_licence (SPDX), and where the database knows them:
# part_<p>_version (the package's), part_<p>_upstream, part_<p>_package,
# part_<p>_source, part_<p>_source_version. parts_known is true where
# every file a static link read was placed.
set(build "${CPACK_COLONSPLIT_BINARY_DIR}")
set(parts "")
set(parts_known FALSE)

# Three fields a library: its name; what its files are called (static
# archives and start files, or shared objects); its licence.
set(libraries
	glibc "^(lib(c|m|m-[0-9.]+|mvec|pthread|dl|rt|resolv|util|anl|c_nonshared)\\.a|[grS]?r?crt1\\.o|crt[in]\\.o|lib(c|m)\\.so\\.6)$" "LGPL-2.1-or-later"
	libstdc++ "^lib(stdc\\+\\+|supc\\+\\+)\\.(a|so\\.6)$" "GPL-3.0-or-later WITH GCC-exception-3.1"
	libgcc "^(libgcc(_eh)?\\.a|crt(begin|end)[A-Za-z]*\\.o|libgcc_s\\.so\\.1)$" "GPL-3.0-or-later WITH GCC-exception-3.1"
	libc++ "^libc\\+\\+\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception"
	libc++abi "^libc\\+\\+abi\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception"
	libunwind "^libunwind\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception")
list(LENGTH libraries last)
math(EXPR last "${last} - 1")

# The files to place: for static programs, every file the linker read
# but our own objects; for dynamic ones, the shared libraries they name.
set(files "")
set(unplaced "")
if(CPACK_COLONSPLIT_STATIC)
	foreach(prog headslug tailecho)
		if(NOT EXISTS "${build}/${prog}.inputs")
			set(files "")
			message(NOTICE "colonsplit: the linker recorded no inputs: the libraries inside the programs are not named")
			break()
		endif()
		file(READ "${build}/${prog}.inputs" deps)
		string(REGEX REPLACE "\\\\\n" " " deps "${deps}")
		string(REGEX REPLACE "[ \t\n]+" ";" deps "${deps}")
		foreach(dep ${deps})
			if(IS_ABSOLUTE "${dep}" AND NOT dep MATCHES ":$")
				list(APPEND files "${dep}")
			endif()
		endforeach()
	endforeach()
	set(parts_known TRUE)
else()
	foreach(prog headslug tailecho)
		execute_process(COMMAND "${CPACK_COLONSPLIT_READELF}" -dW "${build}/${prog}"
			OUTPUT_VARIABLE dyn COMMAND_ERROR_IS_FATAL ANY)
		string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed "${dyn}")
		foreach(line ${needed})
			string(REGEX REPLACE ".*\\[(.*)\\]" "\\1" lib "${line}")
			list(APPEND files "${lib}")
		endforeach()
	endforeach()
	# Nothing but our own code is inside.
	set(parts_known TRUE)
endif()
list(REMOVE_DUPLICATES files)
if(files STREQUAL "")
	set(parts_known FALSE)
endif()

foreach(f ${files})
	cmake_path(GET f FILENAME name)
	set(placed FALSE)
	foreach(i RANGE 0 ${last} 3)
		math(EXPR j "${i} + 1")
		math(EXPR k "${i} + 2")
		list(GET libraries ${i} p)
		list(GET libraries ${j} pattern)
		if(name MATCHES "${pattern}")
			set(placed TRUE)
			if(NOT p IN_LIST parts)
				list(APPEND parts "${p}")
				list(GET libraries ${k} part_${p}_licence)
			endif()
			if(CPACK_COLONSPLIT_STATIC)
				file(REAL_PATH "${f}" real)
				list(APPEND part_${p}_files "${real}")
			endif()
			break()
		endif()
	endforeach()
	if(NOT placed)
		list(APPEND unplaced "${f}")
	endif()
endforeach()
if(unplaced)
	set(parts_known FALSE)
	string(REPLACE ";" ", " unplaced "${unplaced}")
	message(NOTICE "colonsplit: not a library we know, left out of the packages' records: ${unplaced}")
endif()
# The fixed order of the table, whatever the order of the link.
set(ordered "")
foreach(i RANGE 0 ${last} 3)
	list(GET libraries ${i} p)
	if(p IN_LIST parts)
		list(APPEND ordered "${p}")
	endif()
endforeach()
set(parts "${ordered}")

# The versions, for a static build: what the package database says of the
# files that went in. Where it cannot say, nothing is written: no
# Built-Using, no version.
find_program(DPKG dpkg)
find_program(DPKG_QUERY dpkg-query)
set(unknown "")
if(CPACK_COLONSPLIT_STATIC AND parts AND NOT (DPKG AND DPKG_QUERY))
	set(unknown ${parts})
elseif(CPACK_COLONSPLIT_STATIC AND parts)
	foreach(p ${parts})
		execute_process(COMMAND "${DPKG}" -S ${part_${p}_files} RESULT_VARIABLE lost
			OUTPUT_VARIABLE owners ERROR_QUIET)
		# "package[:arch]: path", a line a file.
		string(REGEX MATCHALL "(^|\n)[^ \n]+: /" owners "${owners}")
		list(TRANSFORM owners REPLACE "^\n?(.*): /$" "\\1")
		list(REMOVE_DUPLICATES owners)
		list(LENGTH owners count)
		# One package, which holds every file of the part.
		if(lost OR NOT count EQUAL 1)
			list(APPEND unknown ${p})
			continue()
		endif()
		execute_process(COMMAND "${DPKG_QUERY}" -W "-f=\${Package}\t\${Version}\t\${source:Package}\t\${source:Version}" ${owners}
			OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
		string(REPLACE "\t" ";" fields "${fields}")
		list(GET fields 0 part_${p}_package)
		list(GET fields 1 part_${p}_version)
		list(GET fields 2 part_${p}_source)
		list(GET fields 3 part_${p}_source_version)
		# Upstream's version: no epoch, no Debian revision.
		string(REGEX REPLACE "^[0-9]+:" "" part_${p}_upstream "${part_${p}_version}")
		string(REGEX REPLACE "-[^-]*$" "" part_${p}_upstream "${part_${p}_upstream}")
	endforeach()
endif()
if(unknown)
	list(JOIN unknown ", " unknown)
	message(NOTICE "colonsplit: no package database (dpkg) knows the ${unknown} inside the programs: no Built-Using, and no version written for them")
endif()
