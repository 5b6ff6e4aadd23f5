# What an install and the packages lay down, that the programs work
# there, and that the packages say truly what is inside them. Plain cpack
# makes the packages once (the test "packages", a fixture); package.sh
# checks each kind.
# Reads (tests/CMakeLists.txt): here, link, run, progs, missing(),
#   test_unless(), leave_out(); colonsplit_static; DPKG_DEB, RPMBUILD and
#   arch_* (cmake/packaging.cmake).
add_test(NAME install COMMAND bash ${here}/install.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${link} ${run})

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
	missing(lack dpkg-query)
	if(NOT lack)
		execute_process(COMMAND dpkg -S "${libc_a}" OUTPUT_VARIABLE owner ERROR_QUIET)
		string(REGEX REPLACE ":.*" "" owner "${owner}")
	endif()
	if(owner)
		execute_process(COMMAND dpkg-query -W "-f=\${Version} \${source:Package} \${source:Version}" ${owner}
			OUTPUT_VARIABLE libc)
	else()
		leave_out(package.libc "no package database knows ${libc_a}: the C library's version in the packages is not checked")
	endif()
endif()

set(package bash ${here}/package.sh)
add_test(NAME packages COMMAND ${package} make ${PROJECT_BINARY_DIR})
set_tests_properties(packages PROPERTIES FIXTURES_SETUP packages)
add_test(NAME package.tgz COMMAND ${package} tgz ${run})

set(lack "")
if(NOT DPKG_DEB)
	set(lack "dpkg-deb not found: no .deb is made or checked")
endif()
test_unless("${lack}" package.deb ${package} deb ${run})

missing(lack rpm rpm2cpio cpio)
if(NOT RPMBUILD)
	set(lack "rpmbuild not found: no .rpm is made or checked")
elseif(lack)
	string(APPEND lack ": the .rpm is made, not checked")
endif()
test_unless("${lack}" package.rpm ${package} rpm ${run})

# Each package's SBOM, against the CycloneDX schema, with the CycloneDX
# project's own library, installed by npm.
missing(lack node)
if(NOT lack)
	execute_process(COMMAND npm root -g OUTPUT_VARIABLE node_path OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	execute_process(COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=${node_path}
		node -e "require('@cyclonedx/cyclonedx-library')" RESULT_VARIABLE lost OUTPUT_QUIET ERROR_QUIET)
	if(lost)
		set(lack "no @cyclonedx/cyclonedx-library for node (npm install -g)")
	endif()
endif()
if(lack)
	string(APPEND lack ": the SBOMs are not checked")
endif()
test_unless("${lack}" package.sbom ${package} sbom ${run})

# Signed repositories of the packages (package/repository), proven with
# apt and dnf themselves.
add_test(NAME repository.refuse COMMAND bash ${here}/repository.sh refuse)
missing(lack gpg apt-ftparchive apt-get xz)
if(NOT DPKG_DEB)
	set(lack "dpkg-deb not found: no .deb to publish")
elseif(lack)
	string(APPEND lack ": no APT repository is made or read")
endif()
test_unless("${lack}" repository.apt bash ${here}/repository.sh apt ${run})
missing(lack gpg rpmsign createrepo_c dnf)
if(NOT RPMBUILD)
	set(lack "rpmbuild not found: no .rpm to publish")
elseif(lack)
	string(APPEND lack ": no DNF repository is made or read")
elseif(NOT colonsplit_static)
	set(lack "a dynamic .rpm needs the C library, which an empty root lacks")
elseif(CMAKE_CROSSCOMPILING)
	set(lack "dnf installs the build machine's architecture only")
endif()
test_unless("${lack}" repository.dnf bash ${here}/repository.sh dnf ${run})

get_property(tests DIRECTORY PROPERTY TESTS)
list(FILTER tests INCLUDE REGEX "^(package\\.(tgz|deb|rpm|sbom)|repository\\..*)$")
set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED packages)
set_tests_properties(packages ${tests} PROPERTIES ENVIRONMENT
	"PKGS=${CMAKE_CURRENT_BINARY_DIR}/packages;SRC=${PROJECT_SOURCE_DIR};LINK=${link};VERSION=${PROJECT_VERSION};CPU=${CMAKE_SYSTEM_PROCESSOR};DEB_ARCH=${arch_debian};RPM_ARCH=${arch_rpm};LIBC=${libc};NODE_PATH=${node_path}")
