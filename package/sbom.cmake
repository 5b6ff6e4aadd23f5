# Included by package/layout.cmake: writes sbom, a CycloneDX 1.5 SBOM of
# the programs in the folder bin, as shipped, and of the libraries that
# package/inside.cmake found in them (static) or beside them (dynamic).
# Reproducible: its only date is SOURCE_DATE_EPOCH, and its serial number
# is derived from what it says.
set(name "${CPACK_PACKAGE_NAME}")
set(version "${CPACK_PACKAGE_VERSION}")

# The distribution, as package URLs name it.
set(distro "")
if(EXISTS /etc/os-release)
	file(STRINGS /etc/os-release os REGEX "^(ID|VERSION_ID)=")
	foreach(line ${os})
		string(REGEX REPLACE "^([A-Z_]+)=\"?([^\"]*)\"?$" "\\2" value "${line}")
		if(line MATCHES "^ID=")
			set(distro_id "${value}")
		else()
			set(distro_version "${value}")
		endif()
	endforeach()
	set(distro "${distro_id}")
	if(distro_version)
		string(APPEND distro "-${distro_version}")
	endif()
endif()

function(purl_escape var text)
	string(REPLACE "%" "%25" text "${text}")
	string(REPLACE "+" "%2B" text "${text}")
	string(REPLACE ":" "%3A" text "${text}")
	set(${var} "${text}" PARENT_SCOPE)
endfunction()

# One library, as a component: bom-ref prefix, part, linkage.
function(library var ref p linkage)
	set(json "{\n\"type\": \"library\",\n\"bom-ref\": \"${ref}${p}\",\n\"name\": \"${p}\"")
	if(part_${p}_version)
		string(APPEND json ",\n\"version\": \"${part_${p}_version}\"")
		string(APPEND json ",\n\"description\": \"from the package ${part_${p}_package} ${part_${p}_version}, built from the source package ${part_${p}_source} ${part_${p}_source_version}\"")
	elseif(linkage STREQUAL dynamic)
		string(APPEND json ",\n\"description\": \"the system's own, loaded at run time\"")
	else()
		string(APPEND json ",\n\"description\": \"version not known: no package database said\"")
	endif()
	string(APPEND json ",\n\"licenses\": [{ \"expression\": \"${part_${p}_licence}\" }]")
	if(part_${p}_source AND distro_id)
		purl_escape(source "${part_${p}_source}")
		purl_escape(source_version "${part_${p}_source_version}")
		set(purl "pkg:deb/${distro_id}/${source}@${source_version}?arch=source")
		if(distro)
			string(APPEND purl "&distro=${distro}")
		endif()
		string(APPEND json ",\n\"purl\": \"${purl}\"")
	endif()
	string(APPEND json ",\n\"properties\": [{ \"name\": \"${name}:linkage\", \"value\": \"${linkage}\" }]\n}")
	set(${var} "${json}" PARENT_SCOPE)
endfunction()

set(programs "")
set(edges "")
set(refs "")
set(hashes "")
if(CPACK_COLONSPLIT_STATIC)
	set(linkage static)
else()
	set(linkage dynamic)
endif()
foreach(prog headslug tailecho)
	file(SHA256 "${bin}/${prog}" hash)
	string(APPEND hashes "${prog}=${hash};")
	list(APPEND refs "\"${prog}\"")
	set(licence MIT)
	set(inside "")
	set(needs "")
	foreach(p ${parts})
		if(linkage STREQUAL static)
			list(APPEND licence "${part_${p}_licence}")
			library(json "${prog}/" ${p} static)
			list(APPEND inside "${json}")
			list(APPEND needs "\"${prog}/${p}\"")
		else()
			list(APPEND needs "\"${p}\"")
		endif()
	endforeach()
	# Static: the libraries are parts of the program (an assembly), and
	# what it needs; dynamic: only what it needs.
	set(json "{\n\"type\": \"application\",\n\"bom-ref\": \"${prog}\",\n\"name\": \"${prog}\",\n\"version\": \"${version}\"")
	string(APPEND json ",\n\"description\": \"/usr/bin/${prog}, as shipped\"")
	string(APPEND json ",\n\"hashes\": [{ \"alg\": \"SHA-256\", \"content\": \"${hash}\" }]")
	if(linkage STREQUAL static AND parts)
		list(REMOVE_DUPLICATES licence)
		list(JOIN licence " AND " licence)
		string(APPEND json ",\n\"licenses\": [{ \"expression\": \"${licence}\" }]")
		list(JOIN inside ",\n" inside)
		string(APPEND json ",\n\"components\": [\n${inside}\n]")
	else()
		string(APPEND json ",\n\"licenses\": [{ \"license\": { \"id\": \"MIT\" } }]")
	endif()
	string(APPEND json "\n}")
	list(APPEND programs "${json}")
	list(JOIN needs ", " needs)
	list(APPEND edges "{ \"ref\": \"${prog}\", \"dependsOn\": [${needs}] }")
endforeach()
set(libs "")
if(linkage STREQUAL dynamic)
	foreach(p ${parts})
		library(json "" ${p} dynamic)
		list(APPEND libs "${json}")
		list(APPEND edges "{ \"ref\": \"${p}\", \"dependsOn\": [] }")
	endforeach()
else()
	foreach(prog headslug tailecho)
		foreach(p ${parts})
			list(APPEND edges "{ \"ref\": \"${prog}/${p}\", \"dependsOn\": [] }")
		endforeach()
	endforeach()
endif()
list(JOIN refs ", " refs)

# Complete where every file the linker read is accounted for.
if(parts_known)
	set(aggregate complete)
elseif(parts)
	set(aggregate incomplete)
else()
	set(aggregate unknown)
endif()

string(TIMESTAMP when "%Y-%m-%dT%H:%M:%SZ" UTC)
string(UUID serial NAMESPACE 6ba7b811-9dad-11d1-80b4-00c04fd430c8
	NAME "${name} ${version} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} ${hashes}" TYPE SHA1)
list(JOIN programs ",\n" programs)
list(JOIN libs ",\n" libs)
if(libs)
	string(PREPEND libs ",\n")
endif()
list(JOIN edges ",\n" edges)
set(text "{
\"$schema\": \"http://cyclonedx.org/schema/bom-1.5.schema.json\",
\"bomFormat\": \"CycloneDX\",
\"specVersion\": \"1.5\",
\"serialNumber\": \"urn:uuid:${serial}\",
\"version\": 1,
\"metadata\": {
\"timestamp\": \"${when}\",
\"component\": {
\"type\": \"application\",
\"bom-ref\": \"${name}\",
\"name\": \"${name}\",
\"version\": \"${version}\",
\"description\": \"${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\",
\"licenses\": [{ \"license\": { \"id\": \"MIT\" } }]
}
},
\"components\": [
${programs}${libs}
],
\"dependencies\": [
{ \"ref\": \"${name}\", \"dependsOn\": [${refs}] },
${edges}
],
\"compositions\": [{ \"aggregate\": \"${aggregate}\", \"assemblies\": [${refs}] }]
}
")
# Indented, as a reader wants it: two spaces a level. (Brackets stand
# in for themselves while the text is a CMake list, which they would
# split otherwise.)
set(depth 0)
set(out "")
string(REPLACE "[" "<(>" text "${text}")
string(REPLACE "]" "<)>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
foreach(line IN LISTS lines)
	if(line MATCHES "^(<\\)>|})")
		math(EXPR depth "${depth} - 1")
	endif()
	string(REPEAT "  " ${depth} pad)
	string(APPEND out "${pad}${line}\n")
	if(line MATCHES "(<\\(>|{)$")
		math(EXPR depth "${depth} + 1")
	endif()
endforeach()
string(REPLACE "<(>" "[" out "${out}")
string(REPLACE "<)>" "]" out "${out}")
file(WRITE "${sbom}" "${out}")
