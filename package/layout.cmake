# Run by cpack on the staged tree, before each package is made: the tree
# that cmake --install lays down, shaped as each kind of package wants it,
# or the sources as released. Modes are set here, whatever the builder's
# umask.
cmake_policy(VERSION 3.25)
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")

if(source_release)
	# What git tracks, where this is our own repository: nothing built,
	# nothing left lying about.
	execute_process(COMMAND git -C "${src}" rev-parse --show-toplevel
		OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	file(REAL_PATH "${src}" here)
	if(top AND top STREQUAL here)
		execute_process(COMMAND git -C "${src}" ls-files --cached
			OUTPUT_VARIABLE tracked COMMAND_ERROR_IS_FATAL ANY)
		string(REPLACE "\n" ";" tracked "${tracked}")
		file(GLOB_RECURSE staged RELATIVE "${root}" "${root}/*")
		foreach(f ${staged})
			if(NOT f IN_LIST tracked)
				file(REMOVE "${root}/${f}")
			endif()
		endforeach()
		execute_process(COMMAND find "${root}" -mindepth 1 -depth -type d -empty -delete
			COMMAND_ERROR_IS_FATAL ANY)
	else()
		# No build folder, whatever its name.
		file(GLOB_RECURSE caches "${root}/*/CMakeCache.txt")
		foreach(cache ${caches})
			cmake_path(GET cache PARENT_PATH built)
			file(REMOVE_RECURSE "${built}")
		endforeach()
	endif()
	# The release's date, for packages built from it.
	file(WRITE "${root}/package/epoch" "$ENV{SOURCE_DATE_EPOCH}\n")
	execute_process(COMMAND find "${root}" ( -type d -o -perm /111 ) -exec chmod 0755 {} +
		COMMAND_ERROR_IS_FATAL ANY)
	execute_process(COMMAND find "${root}" -type f ! -perm /111 -exec chmod 0644 {} +
		COMMAND_ERROR_IS_FATAL ANY)
	execute_process(COMMAND find "${root}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
		COMMAND_ERROR_IS_FATAL ANY)
	return()
endif()

set(prefix "${root}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(bin "${prefix}/${CPACK_COLONSPLIT_BINDIR}")
set(doc "${prefix}/${CPACK_COLONSPLIT_DOCDIR}")
set(man "${prefix}/${CPACK_COLONSPLIT_MANDIR}/man1")

# Every package says what is inside it, and of the programs as shipped.
set(sbom "${doc}/${CPACK_PACKAGE_NAME}.cdx.json")
include("${src}/package/sbom.cmake")

if(CPACK_GENERATOR STREQUAL "DEB" OR CPACK_GENERATOR STREQUAL "RPM")
	# Both want manual pages compressed, with no name or time in them.
	file(GLOB pages "${man}/*.1")
	foreach(page ${pages})
		execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
	endforeach()
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
	# The notice, machine-readable, as the package's copyright; the
	# release history; for static programs, the one override lintian
	# needs.
	file(REMOVE "${doc}/LICENSE" "${doc}/COPYRIGHT")
	file(COPY_FILE "${src}/package/copyright" "${doc}/copyright")
	file(WRITE "${doc}/changelog" "${deb_changelog}")
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
	file(REMOVE "${doc}/COPYRIGHT")
	file(COPY_FILE "${src}/package/copyright" "${lic}/COPYRIGHT")
else()
	# A plain tree: the programs, their pages, and what to read first.
	file(RENAME "${doc}/README.md" "${root}/README.md")
	file(RENAME "${doc}/LICENSE" "${root}/LICENSE")
	file(RENAME "${sbom}" "${root}/${CPACK_PACKAGE_NAME}.cdx.json")
	file(REMOVE "${doc}/COPYRIGHT")
	file(COPY_FILE "${src}/package/copyright" "${root}/COPYRIGHT")
	# share/doc holds nothing else.
	cmake_path(GET doc PARENT_PATH docs)
	file(REMOVE_RECURSE "${docs}")
endif()

file(CHMOD_RECURSE "${root}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
	DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB programs "${bin}/*")
file(CHMOD ${programs} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Every file of every package dated SOURCE_DATE_EPOCH (package/cpack.cmake).
execute_process(COMMAND find "${root}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
	COMMAND_ERROR_IS_FATAL ANY)
