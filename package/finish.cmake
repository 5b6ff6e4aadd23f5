# Run by cpack after each package is made, to take out what cpack lets in
# of the builder: the user in a .tar.gz, and the umask in the modes of a
# .deb's members.
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
		# The ar archive written anew, with the modes dpkg-deb gives its
		# members and SOURCE_DATE_EPOCH as their time.
		execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${pkg}" WORKING_DIRECTORY "${dir}"
			COMMAND_ERROR_IS_FATAL ANY)
		file(GLOB control RELATIVE "${dir}" "${dir}/control.tar.*")
		file(GLOB data RELATIVE "${dir}" "${dir}/data.tar.*")
		file(WRITE "${dir}/.magic" "!<arch>\n")
		set(parts "${dir}/.magic")
		foreach(member debian-binary ${control} ${data})
			file(SIZE "${dir}/${member}" size)
			set(header "")
			foreach(field "${member};16" "$ENV{SOURCE_DATE_EPOCH};12" "0;6" "0;6" "100644;8" "${size};10")
				list(GET field 0 text)
				list(GET field 1 width)
				string(LENGTH "${text}" length)
				math(EXPR pad "${width} - ${length}")
				string(REPEAT " " ${pad} spaces)
				string(APPEND header "${text}${spaces}")
			endforeach()
			file(WRITE "${dir}/.${member}" "${header}`\n")
			list(APPEND parts "${dir}/.${member}" "${dir}/${member}")
			# Members start at even offsets.
			math(EXPR odd "${size} % 2")
			if(odd)
				file(WRITE "${dir}/.${member}.pad" "\n")
				list(APPEND parts "${dir}/.${member}.pad")
			endif()
		endforeach()
		execute_process(COMMAND "${CMAKE_COMMAND}" -E cat ${parts} OUTPUT_FILE "${pkg}"
			COMMAND_ERROR_IS_FATAL ANY)
	endif()
	file(REMOVE_RECURSE "${dir}")
endforeach()
