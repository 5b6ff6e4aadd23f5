# The packages. Plain cpack makes the .tar.gz, the .deb where dpkg-deb is
# found and the .rpm where rpmbuild is, and SHA256SUMS beside them; make
# package_source makes the source tarball. The scripts in package/ make
# them reproducible and say what is inside: cpack.cmake (before each
# kind), stage.cmake (on the staged tree) and finish.cmake (on the
# packages made).
# Reads: colonsplit_programs, colonsplit_static, colonsplit_linker, the
#   install rules, the architecture table.
# Sets: the CPack variables; CPACK_COLONSPLIT_* for package/; the link
# option by which the linker records the files it read (<program>.inputs);
# arch_* of the target's row of the table (cmake/arch.cmake).
include(arch)

# Which files the linker read: the packages name the libraries that a
# static program carries from them.
set(CMAKE_REQUIRED_LINK_OPTIONS ${colonsplit_linker} LINKER:--dependency-file=/dev/null)
check_cxx_source_compiles("int main() { return 0; }" COLONSPLIT_HAVE_DEPFILE FAIL_REGEX "warning|unknown|unrecognized")
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(COLONSPLIT_HAVE_DEPFILE)
	foreach(prog ${colonsplit_programs})
		target_link_options(${prog} PRIVATE LINKER:--dependency-file=${PROJECT_BINARY_DIR}/${prog}.inputs)
	endforeach()
endif()

# Every value reaches the scripts as it is written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR TGZ)
find_program(DPKG_DEB dpkg-deb)
find_program(RPMBUILD rpmbuild)
if(DPKG_DEB)
	list(APPEND CPACK_GENERATOR DEB)
endif()
if(RPMBUILD)
	list(APPEND CPACK_GENERATOR RPM)
endif()
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the colonsplit developers")
set(CPACK_PACKAGE_CONTACT "colonsplit developers <colonsplit@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split a string at its first colon: a slug of the head, the tail")
set(CPACK_PACKAGE_DESCRIPTION "headslug writes the part of its argument before the first colon as a
slug (spaces and slashes to dashes, A-Z to a-z); tailecho writes the
part after it; colonsplit does either to every line of a stream, in one
process. Exact bytes, no trailing newline, an exit status that reports
failed output: made for shell scripts, Makefiles and git hooks.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/package/cpack.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/package/stage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/package/finish.cmake)
set(CPACK_COLONSPLIT_PROGRAMS ${colonsplit_programs})
set(CPACK_COLONSPLIT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_COLONSPLIT_BINARY_DIR ${PROJECT_BINARY_DIR})
set(CPACK_COLONSPLIT_BINDIR ${CMAKE_INSTALL_BINDIR})
set(CPACK_COLONSPLIT_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_COLONSPLIT_MANDIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_COLONSPLIT_STATIC ${colonsplit_static})
set(CPACK_COLONSPLIT_READELF ${CMAKE_READELF})

# The sources as released: what git tracks (package/cpack.cmake).
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})

# The target's architecture, as each kind of package names it; left to
# themselves, the tools would name the build machine's.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch_debian})
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${arch_rpm})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A static build needs no shared library at all, and says so: rpm would
# read a need for the dynamic loader into the static PIE's hash section.
# A dynamic one's needs are read off its programs, from the target's own
# libraries.
if(colonsplit_static)
	set(CPACK_RPM_PACKAGE_AUTOREQ no)
else()
	set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
	if(CMAKE_CROSSCOMPILING)
		list(TRANSFORM CMAKE_FIND_ROOT_PATH APPEND /lib OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
		set(CPACK_COLONSPLIT_DEB_HOST_ARCH ${arch_debian})
	endif()
endif()

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_GROUP "Applications/Text")
set(CPACK_RPM_PACKAGE_SUMMARY "Split a string at its first colon: a slug of the head, the tail")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1 /usr/share/licenses)
set(doc /usr/share/doc/${PROJECT_NAME})
set(lic /usr/share/licenses/${PROJECT_NAME})
set(CPACK_RPM_USER_FILELIST "%doc ${doc}/README.md" "%doc ${doc}/${PROJECT_NAME}.cdx.json"
	"%license ${lic}/LICENSE" "%license ${lic}/COPYRIGHT")
# Dates from SOURCE_DATE_EPOCH, no build host, no build-id links; and
# none of rpm's own passes over the tree, which cpack has stripped and
# package/stage.cmake compressed.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _build_id_links none
%define __os_install_post %{nil}")
include(CPack)
