# Read by cpack before each package is made; what it sets, the scripts
# that shape and finish the package read too.
cmake_policy(VERSION 3.25)
set(src "${CPACK_COLONSPLIT_SOURCE_DIR}")
set(source_release FALSE)
if(CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
	set(source_release TRUE)
endif()

# Packages are reproducible by default: every date in them is
# SOURCE_DATE_EPOCH, which, unless the caller sets it, is the release's
# (package/epoch, filled in by git archive and by the source tarball), or
# else the last commit's, or where there is neither the date of the
# manual pages.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
	file(STRINGS "${src}/package/epoch" epoch LIMIT_COUNT 1)
	if(NOT epoch MATCHES "^[0-9]+$")
		# Only our own history: a source tree unpacked inside another
		# repository has none.
		execute_process(COMMAND git -C "${src}" rev-parse --show-toplevel
			OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
		file(REAL_PATH "${src}" here)
		if(top AND top STREQUAL here)
			execute_process(COMMAND git -C "${here}" log -1 --format=%ct
				OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
		endif()
	endif()
	if(NOT epoch MATCHES "^[0-9]+$")
		file(STRINGS "${src}/headslug.1" dd REGEX "^\\.Dd ")
		string(REGEX REPLACE "^\\.Dd " "" dd "${dd}")
		execute_process(COMMAND date -u -d "${dd}" +%s
			OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
	endif()
	set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

if(source_release)
	return()
endif()

# The release history, from NEWS, as each kind of package writes it. An
# entry there is a line "colonsplit VERSION (YYYY-MM-DD)", then items that
# start "  * ", continued on lines that start with four spaces.
file(STRINGS "${src}/NEWS" news)
set(deb_changelog "")
set(rpm_changelog "")
set(date "")
macro(release_done)
	if(date)
		string(APPEND deb_changelog "\n -- ${CPACK_PACKAGE_CONTACT}  ${deb_date}\n")
	endif()
endmacro()
foreach(line IN LISTS news)
	if(line MATCHES "^colonsplit ([^ ]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$")
		release_done()
		set(version "${CMAKE_MATCH_1}")
		set(date "${CMAKE_MATCH_2}")
		execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -d "${date}" "+%a, %d %b %Y %H:%M:%S +0000"
			OUTPUT_VARIABLE deb_date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
		execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -d "${date}" "+%a %b %d %Y"
			OUTPUT_VARIABLE rpm_date OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
		if(deb_changelog)
			string(APPEND deb_changelog "\n")
			string(APPEND rpm_changelog "\n")
		endif()
		string(APPEND deb_changelog "${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n\n")
		string(APPEND rpm_changelog "* ${rpm_date} ${CPACK_PACKAGE_CONTACT} - ${version}-${CPACK_RPM_PACKAGE_RELEASE}\n")
	elseif(line MATCHES "^  \\* (.*)")
		string(APPEND deb_changelog "${line}\n")
		string(APPEND rpm_changelog "- ${CMAKE_MATCH_1}\n")
	elseif(line MATCHES "^    (.*)")
		string(APPEND deb_changelog "${line}\n")
		string(APPEND rpm_changelog "  ${CMAKE_MATCH_1}\n")
	endif()
endforeach()
release_done()
set(rpm_changelog_file "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/changelog.rpm")
file(WRITE "${rpm_changelog_file}" "${rpm_changelog}")
set(CPACK_RPM_CHANGELOG_FILE "${rpm_changelog_file}")

# What the programs carry inside, or need beside them.
include("${src}/package/inside.cmake")

# The licence of what the package holds: ours, and, for static programs,
# that of each library they carry. Fedora's convention names each
# library carried, and its version where known.
set(licences MIT)
if(CPACK_COLONSPLIT_STATIC)
	set(provides "")
	foreach(p ${parts})
		list(APPEND licences "${part_${p}_licence}")
		if(part_${p}_upstream)
			list(APPEND provides "bundled(${p}) = ${part_${p}_upstream}")
		else()
			list(APPEND provides "bundled(${p})")
		endif()
	endforeach()
	list(JOIN provides ", " CPACK_RPM_PACKAGE_PROVIDES)
endif()
list(REMOVE_DUPLICATES licences)
list(JOIN licences " AND " CPACK_RPM_PACKAGE_LICENSE)

# Debian's record of the source packages whose code is inside, as
# Policy asks of a static link.
set(built_using "")
if(CPACK_COLONSPLIT_STATIC)
	foreach(p ${parts})
		if(part_${p}_source)
			set(entry "${part_${p}_source} (= ${part_${p}_source_version})")
			if(NOT entry IN_LIST built_using)
				list(APPEND built_using "${entry}")
			endif()
		endif()
	endforeach()
	list(JOIN built_using ", " built_using)
endif()

# A cross build's shared libraries are found as the target's.
if(CPACK_COLONSPLIT_DEB_HOST_ARCH)
	set(ENV{DEB_HOST_ARCH} "${CPACK_COLONSPLIT_DEB_HOST_ARCH}")
endif()
