# Included by package/stage.cmake: writes a CycloneDX 1.5 SBOM of the
# programs as shipped, and of the libraries inside them (static, as parts
# of each program) or beside them (dynamic, as what they depend on).
# Reproducible: its only date is SOURCE_DATE_EPOCH, and its serial number
# is derived from what it says.
# Reads: sbom (the file to write), bin (the staged programs), name,
#   CPACK_PACKAGE_VERSION, _DESCRIPTION_SUMMARY, CPACK_DEBIAN_PACKAGE_ARCHITECTURE,
#   CPACK_COLONSPLIT_PROGRAMS and _STATIC, and what package/cpack.cmake sets of the
#   parts: CPACK_COLONSPLIT_PARTS, _<p>_* and _COMPLETE; the build
#   machine's distribution.
# Writes: the file sbom.
set(version "${CPACK_PACKAGE_VERSION}")
set(linkage dynamic)
if(CPACK_COLONSPLIT_STATIC)
	set(linkage static)
endif()
cmake_host_system_information(RESULT distro QUERY DISTRIB_ID DISTRIB_VERSION_ID)
list(GET distro 0 distro_id)
list(JOIN distro "-" distro)

# A JSON object, written by CMake's JSON writer, of members and values: a
# value that is JSON already (an array or an object) goes in as it is,
# any other as a string; a member without a value is left out.
function(json var)
	set(object "{}")
	while(ARGN)
		list(POP_FRONT ARGN member value)
		if(NOT value MATCHES "^[[{]")
			string(REGEX REPLACE "([\\\"])" "\\\\\\1" value "${value}")
			set(value "\"${value}\"")
		endif()
		if(NOT value STREQUAL "\"\"")
			string(JSON object SET "${object}" "${member}" "${value}")
		endif()
	endwhile()
	set(${var} "${object}" PARENT_SCOPE)
endfunction()
function(refs var)
	list(TRANSFORM ARGN REPLACE "(.+)" "\"\\1\"")
	list(JOIN ARGN ", " list)
	set(${var} "[${list}]" PARENT_SCOPE)
endfunction()
json(mit license "{\"id\": \"MIT\"}")
set(dependencies "")

# A library p, as a component whose bom-ref starts with prefix; its edge,
# which needs nothing, joins the dependencies.
function(library var prefix p)
	set(v CPACK_COLONSPLIT_${p})
	set(purl "")
	if(${v}_VERSION)
		set(said "from the package ${${v}_PACKAGE} ${${v}_VERSION}, built from the source package ${${v}_SOURCE} ${${v}_SOURCE_VERSION}")
		set(purl "${${v}_SOURCE}@${${v}_SOURCE_VERSION}")
		string(REPLACE "%" "%25" purl "${purl}")
		string(REPLACE "+" "%2B" purl "${purl}")
		string(REPLACE ":" "%3A" purl "${purl}")
		set(purl "pkg:deb/${distro_id}/${purl}?arch=source&distro=${distro}")
	elseif(linkage STREQUAL dynamic)
		set(said "the system's own, loaded at run time")
	else()
		set(said "version not known: no package database said")
	endif()
	json(licence expression "${${v}_LICENCE}")
	json(property name "${name}:linkage" value ${linkage})
	json(component type library bom-ref "${prefix}${p}" name ${p} version "${${v}_VERSION}"
		description "${said}" licenses "[${licence}]" purl "${purl}" properties "[${property}]")
	set(${var} "${component}" PARENT_SCOPE)
	json(edge ref "${prefix}${p}" dependsOn "[]")
	set(dependencies ${dependencies} "${edge}" PARENT_SCOPE)
endfunction()

set(programs ${CPACK_COLONSPLIT_PROGRAMS})
set(parts ${CPACK_COLONSPLIT_PARTS})
set(components "")
set(hashes "")
foreach(prog ${programs})
	file(SHA256 "${bin}/${prog}" hash)
	string(APPEND hashes "${prog}=${hash};")
	json(sha alg SHA-256 content ${hash})
	# Static: the libraries are parts of the program (an assembly), and
	# what it needs; dynamic: only what it needs.
	set(needs ${parts})
	set(inside "")
	set(licences "[${mit}]")
	if(linkage STREQUAL static AND parts)
		set(licence MIT)
		foreach(p ${parts})
			list(APPEND licence "${CPACK_COLONSPLIT_${p}_LICENCE}")
			library(lib "${prog}/" ${p})
			list(APPEND inside "${lib}")
		endforeach()
		list(REMOVE_DUPLICATES licence)
		list(JOIN licence " AND " licence)
		json(licences expression "${licence}")
		set(licences "[${licences}]")
		list(JOIN inside ", " inside)
		set(inside "[${inside}]")
		list(TRANSFORM needs PREPEND "${prog}/")
	endif()
	json(program type application bom-ref ${prog} name ${prog} version "${version}"
		description "/usr/bin/${prog}, as shipped" hashes "[${sha}]" licenses "${licences}" components "${inside}")
	list(APPEND components "${program}")
	refs(needs ${needs})
	json(edge ref ${prog} dependsOn "${needs}")
	list(APPEND dependencies "${edge}")
endforeach()
if(linkage STREQUAL dynamic)
	foreach(p ${parts})
		library(lib "" ${p})
		list(APPEND components "${lib}")
	endforeach()
endif()

# Complete where every file the linker read is accounted for.
if(CPACK_COLONSPLIT_COMPLETE)
	set(aggregate complete)
elseif(parts)
	set(aggregate incomplete)
else()
	set(aggregate unknown)
endif()
refs(refs ${programs})
json(edge ref "${name}" dependsOn "${refs}")
json(composition aggregate ${aggregate} assemblies "${refs}")
json(project type application bom-ref "${name}" name "${name}" version "${version}"
	description "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" licenses "[${mit}]")
string(TIMESTAMP when "%Y-%m-%dT%H:%M:%SZ" UTC)
json(metadata timestamp "${when}" component "${project}")
string(UUID serial NAMESPACE 6ba7b811-9dad-11d1-80b4-00c04fd430c8
	NAME "${name} ${version} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} ${hashes}" TYPE SHA1)
list(JOIN components ", " components)
list(JOIN dependencies ", " dependencies)
json(bom $schema "http://cyclonedx.org/schema/bom-1.5.schema.json" bomFormat CycloneDX specVersion 1.5
	serialNumber "urn:uuid:${serial}" metadata "${metadata}" components "[${components}]"
	dependencies "[${edge}, ${dependencies}]" compositions "[${composition}]")
string(JSON bom SET "${bom}" version 1)
file(WRITE "${sbom}" "${bom}\n")
