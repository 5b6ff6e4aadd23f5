# What an install and the packages lay down, that the programs work
# there, and that the packages say truly what is inside them. Plain cpack
# makes the packages once (the test "packages", a fixture); package.sh
# checks each kind.
# Reads (tests/CMakeLists.txt): here, link, run, check(); colonsplit_programs,
#   colonsplit_static;
#   DPKG_DEB, RPMBUILD and arch_* (cmake/packaging.cmake).
list(JOIN colonsplit_programs " " names)
check(install COMMAND bash ${here}/install.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${link} ${run})
set_tests_properties(install PROPERTIES ENVIRONMENT "PROGRAMS=${names}")

# The target's names, as each kind of package gives them: its row of the
# table, or what the tools say by themselves.
if(NOT arch_debian)
	execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch_debian OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	set(arch_rpm ${CMAKE_SYSTEM_PROCESSOR})
endif()
# A static program carries the C library that the compiler links: the
# packages name its version, where the package database knows it.
set(libc "")
if(colonsplit_static)
	execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libc.a
		OUTPUT_VARIABLE libc_a OUTPUT_STRIP_TRAILING_WHITESPACE)
	file(REAL_PATH "${libc_a}" libc_a)
	execute_process(COMMAND dpkg -S "${libc_a}" OUTPUT_VARIABLE owner ERROR_QUIET)
	string(REGEX REPLACE ":.*" "" owner "${owner}")
	if(owner)
		execute_process(COMMAND dpkg-query -W "-f=\${Version} \${source:Package} \${source:Version}" ${owner}
			OUTPUT_VARIABLE libc)
	else()
		check(package.libc UNLESS "no package database knows ${libc_a}: the C library's version in the packages is not checked")
	endif()
endif()

# Why some kinds are not made or checked here.
set(no_deb "")
if(NOT DPKG_DEB)
	set(no_deb "dpkg-deb not found: no .deb is made")
endif()
set(no_rpm "")
if(NOT RPMBUILD)
	set(no_rpm "rpmbuild not found: no .rpm is made")
endif()
# Each package's SBOM is checked against the CycloneDX schema with the
# CycloneDX project's own library, installed by npm.
execute_process(COMMAND npm root -g OUTPUT_VARIABLE node_path OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=${node_path}
	node -e "require('@cyclonedx/cyclonedx-library')" RESULT_VARIABLE no_cdx OUTPUT_QUIET ERROR_QUIET)
if(no_cdx)
	set(no_cdx "no @cyclonedx/cyclonedx-library for node (npm install -g)")
endif()

set(package bash ${here}/package.sh)
check(packages COMMAND ${package} make ${PROJECT_BINARY_DIR})
set_tests_properties(packages PROPERTIES FIXTURES_SETUP packages)
check(package.tgz COMMAND ${package} tgz ${run})
check(package.deb UNLESS "${no_deb}" COMMAND ${package} deb ${run})
check(package.rpm NEEDS rpm rpm2cpio cpio UNLESS "${no_rpm}" COMMAND ${package} rpm ${run})
check(package.sbom NEEDS node UNLESS "${no_cdx}" COMMAND ${package} sbom ${run})
# The release chain (package/release and package/repository), proven
# with apt and dnf themselves, each in a root of its own, which needs a
# mount namespace, and so root. It is checked once, in the build that the
# release ships (the default preset's: native, static, by g++). The key
# rotation builds releases anew, as this build was.
string(JOIN "; " no_chain ${no_deb} ${no_rpm})
if(CMAKE_CROSSCOMPILING OR COLONSPLIT_SANITIZE OR NOT colonsplit_static OR NOT CMAKE_CXX_COMPILER_ID STREQUAL GNU)
	set(no_chain "the release chain is checked once, in the build the release ships (native, static, by g++)")
endif()
set(no_roots "${no_chain}")
execute_process(COMMAND unshare -m -n sh -c "mount -t tmpfs tmpfs \"$1\"" sh ${CMAKE_CURRENT_BINARY_DIR}
	RESULT_VARIABLE no_namespace OUTPUT_QUIET ERROR_QUIET)
if(NOT no_roots AND no_namespace)
	set(no_roots "unshare -m -n cannot mount here (it needs root): apt and dnf need roots of their own")
endif()
set(chain gpg gpgv git flock apt-ftparchive dpkg-deb xz rpm rpmbuild rpmsign rpmkeys createrepo_c)
set(clients ${chain} unshare chroot apt-get dnf curl)
set(repository bash ${here}/repository.sh)
check(repository.refuse NEEDS ${chain} UNLESS "${no_chain}" COMMAND ${repository} refuse)
check(repository.first NEEDS ${clients} UNLESS "${no_roots}" COMMAND ${repository} first)
check(repository.apt NEEDS ${clients} lintian rpm2archive UNLESS "${no_roots}" COMMAND ${repository} apt)
check(repository.dnf NEEDS ${clients} rpmlint UNLESS "${no_roots}" COMMAND ${repository} dnf)
check(repository.rotation NEEDS ${clients} UNLESS "${no_roots}" COMMAND ${repository} rotation ${same})

get_property(tests DIRECTORY PROPERTY TESTS)
list(FILTER tests INCLUDE REGEX "^(package\\.(tgz|deb|rpm|sbom)|repository\\..*)$")
set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED packages)
set_tests_properties(packages ${tests} PROPERTIES ENVIRONMENT
	"PROGRAMS=${names};PKGS=${CMAKE_CURRENT_BINARY_DIR}/packages;SRC=${PROJECT_SOURCE_DIR};LINK=${link};VERSION=${PROJECT_VERSION};CPU=${CMAKE_SYSTEM_PROCESSOR};DEB_ARCH=${arch_debian};RPM_ARCH=${arch_rpm};LIBC=${libc};NODE_PATH=${node_path}")
