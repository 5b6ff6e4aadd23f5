# Run by cpack after each package is made: each package written anew by
# the tool its kind has, to take out what cpack lets in of the builder
# (the user in a .tar.gz, the umask in a .deb's members) and to add what
# cpack cannot write; then every package listed in SHA256SUMS.
cmake_policy(VERSION 3.25)
find_program(DPKG_DEB dpkg-deb)
foreach(pkg ${CPACK_PACKAGE_FILES})
	set(dir "${pkg}.parts")
	file(REMOVE_RECURSE "${dir}")
	file(MAKE_DIRECTORY "${dir}")
	if(pkg MATCHES "\\.tar\\.gz$")
		# Packed anew by GNU tar: owned by root, in name order.
		execute_process(COMMAND tar -xpzf "${pkg}" -C "${dir}" COMMAND_ERROR_IS_FATAL ANY)
		file(GLOB top RELATIVE "${dir}" "${dir}/*")
		# The top folder, which the archive did not hold, was made
		# with the umask.
		file(CHMOD "${dir}/${top}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
			GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
		execute_process(
			COMMAND tar -C "${dir}" --sort=name --owner=root:0 --group=root:0
				--mtime=@$ENV{SOURCE_DATE_EPOCH} -cf - ${top}
			COMMAND gzip -9n
			OUTPUT_FILE "${pkg}" COMMAND_ERROR_IS_FATAL ANY)
	elseif(pkg MATCHES "\\.deb$")
		# Built anew by dpkg-deb, which owns everything by root, dates
		# everything SOURCE_DATE_EPOCH, and takes the control fields
		# cpack has no way to write.
		set(tree "${dir}/tree")
		# (Unpacked with the modes the archive holds, whatever the umask.)
		execute_process(COMMAND sh -c "umask 022 && exec \"$0\" \"$@\"" "${DPKG_DEB}" --raw-extract "${pkg}" "${tree}"
			COMMAND_ERROR_IS_FATAL ANY)
		file(READ "${tree}/DEBIAN/control" control)
		if(control MATCHES "\nDepends: ([^\n]*)")
			set(depends "${CMAKE_MATCH_1}")
			include("${src}/package/depends.cmake")
			string(REGEX REPLACE "\nDepends: [^\n]*" "\nDepends: ${depends}" control "${control}")
		endif()
		if(built_using)
			string(REGEX REPLACE "\n(Depends|Description): " "\nBuilt-Using: ${built_using}\n\\1: " control "${control}")
		endif()
		file(WRITE "${tree}/DEBIAN/control" "${control}")
		execute_process(COMMAND "${DPKG_DEB}" --root-owner-group --build "${tree}" "${pkg}"
			OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
	endif()
	file(REMOVE_RECURSE "${dir}")
endforeach()

# SHA256SUMS beside the packages: this run's, and those of earlier runs
# whose packages are still there, in name order, as sha256sum -c reads.
set(sums "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
set(lines "")
set(made "")
foreach(pkg ${CPACK_PACKAGE_FILES})
	cmake_path(GET pkg FILENAME name)
	file(SHA256 "${pkg}" hash)
	list(APPEND lines "${name}:${hash}  ${name}")
	list(APPEND made "${name}")
endforeach()
if(EXISTS "${sums}")
	file(STRINGS "${sums}" old)
	foreach(line ${old})
		string(REGEX REPLACE "^[0-9a-f]+  " "" name "${line}")
		if(NOT name IN_LIST made AND EXISTS "${CPACK_PACKAGE_DIRECTORY}/${name}")
			list(APPEND lines "${name}:${line}")
		endif()
	endforeach()
endif()
list(SORT lines)
list(TRANSFORM lines REPLACE "^[^:]*:" "")
list(JOIN lines "\n" lines)
file(WRITE "${sums}" "${lines}\n")
