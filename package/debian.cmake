# Run by CPack on the staged tree, before it is packed: Debian wants man
# pages compressed with gzip -9n, the licence as the package's copyright,
# and a changelog beside it.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(path ${staged})
	if(path MATCHES "/man/man[1-9]/[^/]+\\.[1-9]$")
		execute_process(COMMAND gzip -9nf "${path}" COMMAND_ERROR_IS_FATAL ANY)
	elseif(path MATCHES "/doc/${CPACK_PACKAGE_NAME}/LICENSE$")
		get_filename_component(doc "${path}" DIRECTORY)
		file(RENAME "${path}" "${doc}/copyright")
		string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
		file(WRITE "${doc}/changelog" "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}; see README.md.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
		execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
	endif()
endforeach()
