# Run by cpack after each package is made: each package written anew by
# the tool its kind has, to take out what cpack lets in of the builder
# (the user in a .tar.gz, the umask in a .deb's members) and to add what
# cpack cannot write; then SHA256SUMS, of every package in the folder.
# Reads: CPACK_PACKAGE_FILES, CPACK_PACKAGE_DIRECTORY, CPACK_PACKAGE_NAME,
#   ENV{SOURCE_DATE_EPOCH}, CPACK_COLONSPLIT_READELF (cmake/packaging.cmake),
#   CPACK_COLONSPLIT_BUILT_USING (package/cpack.cmake); dpkg's symbols
#   files; earlier packages in the folder.
# Writes: the packages, SHA256SUMS.
cmake_policy(VERSION 3.25)

# Depends, as dpkg-shlibdeps wrote it for the programs in tree, made true
# of the target:
# - Debian's cross libraries, named name:arch or name-arch-cross, stand
#   for the target's own package, name.
# - Each package is at least as new as the first to define every symbol
#   version the programs need, as its symbols file on this machine says:
#   dpkg-shlibdeps finds no symbols file for a cross library.
function(true_depends var depends tree)
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
	set(out "")
	foreach(entry ${entries})
		if(NOT entry MATCHES "^([^ :(|]+)(:[^ (]+)?( \\(>= ([^)]+)\\))?$")
			list(APPEND out "${entry}")
			continue()
		endif()
		set(least "${CMAKE_MATCH_4}")
		string(REGEX REPLACE "-[a-z0-9]+-cross$" "" package "${CMAKE_MATCH_1}")
		execute_process(COMMAND dpkg-query --control-path "${package}" symbols
			OUTPUT_VARIABLE symbols OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
		string(REGEX REPLACE "\n.*" "" symbols "${symbols}")
		set(defined "")
		if(needs AND symbols)
			file(STRINGS "${symbols}" defined REGEX "^ (${needs})@")
		endif()
		foreach(line ${defined})
			string(REGEX REPLACE ".* " "" version "${line}")
			execute_process(COMMAND dpkg --compare-versions "${version}" gt "${least}" RESULT_VARIABLE older)
			if(NOT least OR older EQUAL 0)
				set(least "${version}")
			endif()
		endforeach()
		if(least)
			list(APPEND out "${package} (>= ${least})")
		else()
			list(APPEND out "${package}")
		endif()
	endforeach()
	list(JOIN out ", " out)
	set(${var} "${out}" PARENT_SCOPE)
endfunction()

foreach(pkg ${CPACK_PACKAGE_FILES})
	set(dir "${pkg}.parts")
	file(REMOVE_RECURSE "${dir}")
	file(MAKE_DIRECTORY "${dir}")
	if(pkg MATCHES "\\.tar\\.gz$")
		# Packed anew by GNU tar: owned by root, in name order, and the
		# top folder, which cpack's archive leaves out, with the rest.
		execute_process(COMMAND tar -xzf "${pkg}" -C "${dir}" COMMAND_ERROR_IS_FATAL ANY)
		file(GLOB top RELATIVE "${dir}" "${dir}/*")
		execute_process(
			COMMAND tar -C "${dir}" --sort=name --owner=root:0 --group=root:0 --mode=u=rwX,go=rX
				--mtime=@$ENV{SOURCE_DATE_EPOCH} -cf - ${top}
			COMMAND gzip -9n
			OUTPUT_FILE "${pkg}" COMMAND_ERROR_IS_FATAL ANY)
	elseif(pkg MATCHES "\\.deb$")
		# Built anew by dpkg-deb, which owns everything by root, dates
		# everything SOURCE_DATE_EPOCH, and takes the control fields that
		# cpack has no way to write.
		execute_process(COMMAND dpkg-deb --raw-extract "${pkg}" "${dir}" COMMAND_ERROR_IS_FATAL ANY)
		execute_process(COMMAND chmod -R u=rwX,go=rX "${dir}" COMMAND_ERROR_IS_FATAL ANY)
		file(READ "${dir}/DEBIAN/control" control)
		if(control MATCHES "\nDepends: ([^\n]*)")
			true_depends(depends "${CMAKE_MATCH_1}" "${dir}")
			string(REGEX REPLACE "\nDepends: [^\n]*" "\nDepends: ${depends}" control "${control}")
		endif()
		if(CPACK_COLONSPLIT_BUILT_USING)
			string(REPLACE "\nDescription: " "\nBuilt-Using: ${CPACK_COLONSPLIT_BUILT_USING}\nDescription: "
				control "${control}")
		endif()
		file(WRITE "${dir}/DEBIAN/control" "${control}")
		execute_process(COMMAND dpkg-deb --root-owner-group --build "${dir}" "${pkg}"
			OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
	endif()
	file(REMOVE_RECURSE "${dir}")
endforeach()

# This run's packages, still in cpack's own folder, and those of earlier
# runs beside SHA256SUMS, in name order, as sha256sum -c reads them.
set(dest "${CPACK_PACKAGE_DIRECTORY}")
file(GLOB earlier "${dest}/${CPACK_PACKAGE_NAME}[-_]*.deb" "${dest}/${CPACK_PACKAGE_NAME}[-_]*.rpm"
	"${dest}/${CPACK_PACKAGE_NAME}[-_]*.tar.gz")
set(names "")
set(lines "")
foreach(pkg ${CPACK_PACKAGE_FILES} ${earlier})
	cmake_path(GET pkg FILENAME name)
	if(NOT name IN_LIST names)
		list(APPEND names "${name}")
		file(SHA256 "${pkg}" hash)
		list(APPEND lines "${name}:${hash}  ${name}")
	endif()
endforeach()
list(SORT lines)
list(TRANSFORM lines REPLACE "^[^:]*:" "")
list(JOIN lines "\n" lines)
file(WRITE "${dest}/SHA256SUMS" "${lines}\n")
