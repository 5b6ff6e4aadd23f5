# Run by cpack on the staged tree, before each package is made: the tree
# that cmake --install lays down, shaped as each kind of package wants it.
# Modes are set here, whatever the builder's umask.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(src "${CPACK_COLONSPLIT_SOURCE_DIR}")
set(prefix "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${prefix}/${CPACK_COLONSPLIT_DOCDIR}")
set(man "${prefix}/${CPACK_COLONSPLIT_MANDIR}/man1")

if(CPACK_GENERATOR STREQUAL "DEB" OR CPACK_GENERATOR STREQUAL "RPM")
	# Both want manual pages compressed, with no name or time in them.
	file(GLOB pages "${man}/*.1")
	foreach(page ${pages})
		execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
	endforeach()
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
	# The notice, machine-readable, as the package's copyright; a
	# changelog dated SOURCE_DATE_EPOCH; for static programs, the one
	# override lintian needs.
	file(REMOVE "${doc}/LICENSE")
	file(COPY_FILE "${src}/package/copyright" "${doc}/copyright")
	string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
	file(WRITE "${doc}/changelog" "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}; see README.md.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
	execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
	if(CPACK_COLONSPLIT_STATIC)
		file(MAKE_DIRECTORY "${prefix}/share/lintian/overrides")
		file(COPY_FILE "${src}/package/lintian-overrides" "${prefix}/share/lintian/overrides/${CPACK_PACKAGE_NAME}")
	endif()
elseif(CPACK_GENERATOR STREQUAL "RPM")
	# Licences where rpm looks for them.
	set(lic "${prefix}/share/licenses/${CPACK_PACKAGE_NAME}")
	file(MAKE_DIRECTORY "${lic}")
	file(RENAME "${doc}/LICENSE" "${lic}/LICENSE")
	file(COPY_FILE "${src}/package/copyright" "${lic}/COPYRIGHT")
else()
	# A plain tree: the programs, their pages, and what to read first.
	file(RENAME "${doc}/README.md" "${root}/README.md")
	file(RENAME "${doc}/LICENSE" "${root}/LICENSE")
	file(COPY_FILE "${src}/package/copyright" "${root}/COPYRIGHT")
	# share/doc holds nothing else.
	cmake_path(GET doc PARENT_PATH docs)
	file(REMOVE_RECURSE "${docs}")
endif()

file(CHMOD_RECURSE "${root}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
	DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB programs "${prefix}/${CPACK_COLONSPLIT_BINDIR}/*")
file(CHMOD ${programs} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Every file of every package dated SOURCE_DATE_EPOCH (package/cpack.cmake).
execute_process(COMMAND find "${root}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
	COMMAND_ERROR_IS_FATAL ANY)
