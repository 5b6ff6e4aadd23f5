# Run by cpack on the staged tree before each package is made: the tree
# that cmake --install lays down, shaped as each kind of package wants it,
# with its SBOM; or the sources as released.
# Reads: CPACK_TEMPORARY_INSTALL_DIRECTORY, CPACK_GENERATOR,
#   CPACK_PACKAGING_INSTALL_PREFIX, CPACK_PACKAGE_NAME,
#   CPACK_COLONSPLIT_SOURCE_DIR, _BINDIR, _DOCDIR, _MANDIR and _STATIC
#   (cmake/packaging.cmake); CPACK_COLONSPLIT_RELEASE_SOURCE and
#   _CHANGELOG (package/cpack.cmake); package/sbom.cmake's inputs.
# Writes: the staged tree, its modes 0755 for folders and programs and
#   0644 for the rest, whatever the builder's umask.
cmake_policy(VERSION 3.25)
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(src "${CPACK_COLONSPLIT_SOURCE_DIR}")
set(name "${CPACK_PACKAGE_NAME}")
set(prefix "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${prefix}/${CPACK_COLONSPLIT_DOCDIR}")
set(man "${prefix}/${CPACK_COLONSPLIT_MANDIR}/man1")
function(gzip)
	execute_process(COMMAND gzip -9nf ${ARGN} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

if(NOT CPACK_COLONSPLIT_RELEASE_SOURCE)
	# Every package says what is inside it, and of the programs as shipped.
	set(sbom "${doc}/${name}.cdx.json")
	set(bin "${prefix}/${CPACK_COLONSPLIT_BINDIR}")
	include("${src}/package/sbom.cmake")
	file(REMOVE "${doc}/COPYRIGHT")
endif()
# Debian and rpm want manual pages compressed, with no name or time in
# them; each kind wants the notice and the licence in a place of its own.
if(CPACK_GENERATOR MATCHES "^(DEB|RPM)$")
	file(GLOB pages "${man}/*.1")
	gzip(${pages})
endif()
if(CPACK_GENERATOR STREQUAL "DEB")
	# The notice, machine-readable, as the package's copyright; the
	# release history; for static programs, the one override lintian needs.
	file(COPY_FILE "${src}/package/copyright" "${doc}/copyright")
	file(WRITE "${doc}/changelog" "${CPACK_COLONSPLIT_CHANGELOG}")
	gzip("${doc}/changelog")
	if(CPACK_COLONSPLIT_STATIC)
		file(MAKE_DIRECTORY "${prefix}/share/lintian/overrides")
		file(COPY_FILE "${src}/package/lintian-overrides" "${prefix}/share/lintian/overrides/${name}")
	endif()
elseif(CPACK_GENERATOR STREQUAL "RPM")
	set(lic "${prefix}/share/licenses/${name}")
	file(MAKE_DIRECTORY "${lic}")
	file(COPY_FILE "${src}/LICENSE" "${lic}/LICENSE")
	file(COPY_FILE "${src}/package/copyright" "${lic}/COPYRIGHT")
elseif(NOT CPACK_COLONSPLIT_RELEASE_SOURCE)
	# A plain tree: the programs, their pages, and what to read first.
	foreach(f README.md ${name}.cdx.json)
		file(RENAME "${doc}/${f}" "${root}/${f}")
	endforeach()
	file(COPY_FILE "${src}/LICENSE" "${root}/LICENSE")
	file(COPY_FILE "${src}/package/copyright" "${root}/COPYRIGHT")
	cmake_path(GET doc PARENT_PATH docs)
	file(REMOVE_RECURSE "${docs}")
endif()
execute_process(COMMAND chmod -R u=rwX,go=rX "${root}" COMMAND_ERROR_IS_FATAL ANY)
