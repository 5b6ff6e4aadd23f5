# Read by cpack before it makes each kind of package: the dates, the
# release history and what the programs carry inside or need beside them.
# Reads: CPACK_PACKAGE_*, CPACK_SOURCE_PACKAGE_FILE_NAME,
#   CPACK_COLONSPLIT_PROGRAMS, _SOURCE_DIR, _BINARY_DIR, _STATIC, _READELF and
#   _DEB_HOST_ARCH (cmake/packaging.cmake); NEWS; the linker's records,
#   <program>.inputs; git; dpkg's database.
# Sets: ENV{SOURCE_DATE_EPOCH} (unless the caller has), ENV{DEB_HOST_ARCH};
#   for the source tarball CPACK_IGNORE_FILES; for the others
#   CPACK_RPM_CHANGELOG_FILE, CPACK_RPM_PACKAGE_LICENSE and _PROVIDES;
#   and for package/stage.cmake and package/finish.cmake:
#   CPACK_COLONSPLIT_RELEASE_SOURCE: true for the source tarball;
#   CPACK_COLONSPLIT_CHANGELOG: the release history, as Debian writes it;
#   CPACK_COLONSPLIT_PARTS: the libraries inside the programs (static) or
#     beside them (dynamic), and for each part p CPACK_COLONSPLIT_<p>_LICENCE
#     and, where dpkg knows them, _PACKAGE, _VERSION, _SOURCE, _SOURCE_VERSION;
#   CPACK_COLONSPLIT_COMPLETE: every file the linker read was placed;
#   CPACK_COLONSPLIT_BUILT_USING: the source packages of a static link.
cmake_policy(VERSION 3.25)
set(src "${CPACK_COLONSPLIT_SOURCE_DIR}")
set(build "${CPACK_COLONSPLIT_BINARY_DIR}")

# The release history, NEWS, as each kind of package writes it. An entry
# is a line "colonsplit VERSION (YYYY-MM-DD)", then items that start
# "  * ", continued on lines that start with four spaces. Every date in a
# package is SOURCE_DATE_EPOCH, which is the latest release's, unless the
# caller says otherwise: the same in a checkout and in its source tarball.
function(day var format day)
	execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -d "${day}" "${format}"
		OUTPUT_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
	set(${var} "${out}" PARENT_SCOPE)
endfunction()
file(STRINGS "${src}/NEWS" news)
set(deb "")
set(rpm "")
set(signed "")
foreach(line IN LISTS news ITEMS "colonsplit end (1970-01-01)")
	if(line MATCHES "^colonsplit ([^ ]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$")
		string(APPEND deb "${signed}")
		if(CMAKE_MATCH_1 STREQUAL end)
			break()
		endif()
		set(version ${CMAKE_MATCH_1})
		day(deb_day "+%a, %d %b %Y %H:%M:%S +0000" ${CMAKE_MATCH_2})
		day(rpm_day "+%a %b %d %Y" ${CMAKE_MATCH_2})
		if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
			day(epoch +%s ${CMAKE_MATCH_2})
			set(ENV{SOURCE_DATE_EPOCH} ${epoch})
		endif()
		if(deb)
			string(APPEND deb "\n")
			string(APPEND rpm "\n")
		endif()
		string(APPEND deb "${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n\n")
		string(APPEND rpm "* ${rpm_day} ${CPACK_PACKAGE_CONTACT} - ${version}-${CPACK_RPM_PACKAGE_RELEASE}\n")
		set(signed "\n -- ${CPACK_PACKAGE_CONTACT}  ${deb_day}\n")
	elseif(line MATCHES "^  \\* (.*)")
		string(APPEND deb "${line}\n")
		string(APPEND rpm "- ${CMAKE_MATCH_1}\n")
	elseif(line MATCHES "^    (.*)")
		string(APPEND deb "${line}\n")
		string(APPEND rpm "  ${CMAKE_MATCH_1}\n")
	endif()
endforeach()
set(CPACK_COLONSPLIT_CHANGELOG "${deb}")
set(CPACK_RPM_CHANGELOG_FILE "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/changelog.rpm")
file(WRITE "${CPACK_RPM_CHANGELOG_FILE}" "${rpm}")

# The sources as released: what git tracks, where git can list it. Where
# it cannot (no git, an unpacked source tarball, a checkout that git
# refuses because another user owns it), everything but .git, what
# .gitignore names (build folders, releases) and any other build folder.
set(CPACK_COLONSPLIT_RELEASE_SOURCE FALSE)
if(CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
	set(CPACK_COLONSPLIT_RELEASE_SOURCE TRUE)
	file(REAL_PATH "${src}" src)
	set(special "([][+.*()^$?|\\])")
	execute_process(COMMAND git -C "${src}" rev-parse --show-toplevel
		OUTPUT_VARIABLE top ERROR_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE lost)
	if(NOT lost AND top STREQUAL src)
		execute_process(COMMAND git -C "${src}" ls-files --others --directory
			OUTPUT_VARIABLE extra OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
		string(REPLACE "\n" ";" extra "${extra}")
		list(TRANSFORM extra REPLACE "${special}" "\\\\\\1")
	else()
		if(EXISTS "${src}/.git")
			string(REGEX REPLACE "\n.*" "" why "${why}")
			if(NOT why)
				set(why "${lost}")
			endif()
			message(NOTICE "colonsplit: git cannot list the tracked files (${why}): the source tarball holds all but .git, what .gitignore names and build folders")
		endif()
		# .gitignore's patterns, as regular expressions: * and ? within a name.
		file(STRINGS "${src}/.gitignore" extra REGEX "^[^#]")
		list(TRANSFORM extra REPLACE "([][+.()^$|\\])" "\\\\\\1")
		list(TRANSFORM extra REPLACE "[*]" "[^/]*")
		list(TRANSFORM extra REPLACE "[?]" "[^/]")
		file(GLOB builds RELATIVE "${src}" "${src}/*/CMakeCache.txt")
		list(TRANSFORM builds REPLACE "/CMakeCache.txt$" "")
		list(TRANSFORM builds REPLACE "${special}" "\\\\\\1")
		list(APPEND extra ${builds})
	endif()
	list(APPEND extra "\\.git")
	string(REGEX REPLACE "${special}" "\\\\\\1" src "${src}")
	list(TRANSFORM extra REPLACE "^(.*[^/])/?$" "\\1(/|$)")
	list(TRANSFORM extra PREPEND "^${src}/")
	set(CPACK_IGNORE_FILES ${extra})
	return()
endif()

# What the programs carry of others' code (static: every file the linker
# read but our own objects) or need beside them (dynamic: the shared
# libraries they name), as libraries: each with the pattern of its files'
# names and its licence (SPDX).
set(libraries glibc libstdc++ libgcc libc++ libc++abi libunwind)
set(glibc "^(lib(c|m|m-[0-9.]+|mvec|pthread|dl|rt|resolv|util|anl|c_nonshared)\\.a|[grS]?r?crt1\\.o|crt[in]\\.o|lib(c|m)\\.so\\.6|ld(-linux[-a-z0-9_]*|64)?\\.so\\.[0-9]+)$" "LGPL-2.1-or-later")
set(libstdc++ "^lib(stdc\\+\\+|supc\\+\\+)\\.(a|so\\.6)$" "GPL-3.0-or-later WITH GCC-exception-3.1")
set(libgcc "^(libgcc(_eh)?\\.a|crt(begin|end)[A-Za-z]*\\.o|libgcc_s\\.so\\.1)$" "GPL-3.0-or-later WITH GCC-exception-3.1")
set(libc++ "^libc\\+\\+\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception")
set(libc++abi "^libc\\+\\+abi\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception")
set(libunwind "^libunwind\\.(a|so\\.1)$" "Apache-2.0 WITH LLVM-exception")

set(files "")
foreach(prog ${CPACK_COLONSPLIT_PROGRAMS})
	if(NOT CPACK_COLONSPLIT_STATIC)
		execute_process(COMMAND "${CPACK_COLONSPLIT_READELF}" -dW "${build}/${prog}"
			OUTPUT_VARIABLE dyn COMMAND_ERROR_IS_FATAL ANY)
		string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed "${dyn}")
		list(TRANSFORM needed REPLACE ".*\\[(.*)\\]" "\\1")
		list(APPEND files ${needed})
	elseif(EXISTS "${build}/${prog}.inputs")
		file(READ "${build}/${prog}.inputs" deps)
		string(REGEX REPLACE "[ \t\n\\\\]+" ";" deps "${deps}")
		list(FILTER deps INCLUDE REGEX "^/.*[^:]$")
		list(APPEND files ${deps})
	else()
		message(NOTICE "colonsplit: the linker recorded no inputs: the libraries inside the programs are not named")
		set(files "")
		break()
	endif()
endforeach()
list(REMOVE_DUPLICATES files)
set(CPACK_COLONSPLIT_COMPLETE TRUE)
if(NOT files)
	set(CPACK_COLONSPLIT_COMPLETE FALSE)
endif()
set(parts "")
set(unplaced "")
foreach(f ${files})
	# Our own inputs (the start-up layout's ordering file) are no library.
	cmake_path(IS_PREFIX src "${f}" ours)
	if(ours)
		continue()
	endif()
	cmake_path(GET f FILENAME name)
	set(placed "")
	foreach(p ${libraries})
		list(GET ${p} 0 pattern)
		if(name MATCHES "${pattern}")
			set(placed ${p})
			file(REAL_PATH "${f}" real)
			list(APPEND ${p}_files "${real}")
			break()
		endif()
	endforeach()
	if(placed)
		list(APPEND parts ${placed})
	else()
		list(APPEND unplaced "${f}")
	endif()
endforeach()
if(unplaced)
	set(CPACK_COLONSPLIT_COMPLETE FALSE)
	list(JOIN unplaced ", " unplaced)
	message(NOTICE "colonsplit: not a library we know, left out of the packages' records: ${unplaced}")
endif()

# For a static build, the versions: what dpkg says of the package that
# holds every file of a part. Where it cannot say, nothing is written.
set(CPACK_COLONSPLIT_PARTS "")
set(unknown "")
find_program(DPKG dpkg)
foreach(p ${libraries})
	if(NOT p IN_LIST parts)
		continue()
	endif()
	list(APPEND CPACK_COLONSPLIT_PARTS ${p})
	list(GET ${p} 1 CPACK_COLONSPLIT_${p}_LICENCE)
	if(NOT CPACK_COLONSPLIT_STATIC)
		continue()
	endif()
	set(owners "")
	if(DPKG)
		execute_process(COMMAND "${DPKG}" -S ${${p}_files} RESULT_VARIABLE lost
			OUTPUT_VARIABLE owners ERROR_QUIET)
		# "package[:arch]: path", a line a file.
		string(REGEX MATCHALL "(^|\n)[^ \n]+: /" owners "${owners}")
		list(TRANSFORM owners REPLACE "^\n?(.*): /$" "\\1")
		list(REMOVE_DUPLICATES owners)
	endif()
	list(LENGTH owners count)
	if(NOT DPKG OR lost OR NOT count EQUAL 1)
		list(APPEND unknown ${p})
		continue()
	endif()
	execute_process(COMMAND dpkg-query -W "-f=\${Package};\${Version};\${source:Package};\${source:Version}" ${owners}
		OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
	foreach(field PACKAGE VERSION SOURCE SOURCE_VERSION)
		list(POP_FRONT fields CPACK_COLONSPLIT_${p}_${field})
	endforeach()
endforeach()
if(unknown)
	list(JOIN unknown ", " unknown)
	message(NOTICE "colonsplit: no package database (dpkg) knows the ${unknown} inside the programs: no Built-Using, and no version written for them")
endif()

# The licence of what the package holds: ours, and, for static programs,
# that of each library they carry. Fedora's convention names each library
# carried, and its upstream version where known; Debian's Policy asks for
# the source packages whose code is inside.
set(licences MIT)
set(provides "")
set(built_using "")
if(CPACK_COLONSPLIT_STATIC)
	foreach(p ${CPACK_COLONSPLIT_PARTS})
		list(APPEND licences "${CPACK_COLONSPLIT_${p}_LICENCE}")
		string(REGEX REPLACE "^[0-9]+:|-[^-]*$" "" upstream "${CPACK_COLONSPLIT_${p}_VERSION}")
		if(upstream)
			list(APPEND provides "bundled(${p}) = ${upstream}")
			list(APPEND built_using "${CPACK_COLONSPLIT_${p}_SOURCE} (= ${CPACK_COLONSPLIT_${p}_SOURCE_VERSION})")
		else()
			list(APPEND provides "bundled(${p})")
		endif()
	endforeach()
endif()
list(REMOVE_DUPLICATES licences)
list(REMOVE_DUPLICATES built_using)
list(JOIN licences " AND " CPACK_RPM_PACKAGE_LICENSE)
list(JOIN provides ", " CPACK_RPM_PACKAGE_PROVIDES)
list(JOIN built_using ", " CPACK_COLONSPLIT_BUILT_USING)

# A cross build's shared libraries are found as the target's.
if(CPACK_COLONSPLIT_DEB_HOST_ARCH)
	set(ENV{DEB_HOST_ARCH} "${CPACK_COLONSPLIT_DEB_HOST_ARCH}")
endif()
