# The link ladder: static PIE, the cheapest start-up a process can have,
# where a static-PIE C++ program links here; dynamic PIE otherwise.
# Static PIE needs the static C and C++ libraries, which many systems
# package apart, and a C library with a start file for it, which some
# architectures lack. Where it does not link, configure says why in the
# linker's own words; unless static was asked for by name, which stops.
# Reads: COLONSPLIT_STATIC (AUTO, ON or OFF), COLONSPLIT_SANITIZE.
# Sets: colonsplit_static (ON or OFF); caches COLONSPLIT_STATIC_LINKS and
# COLONSPLIT_STATIC_WHY.
set(colonsplit_static OFF)
string(TOUPPER "${COLONSPLIT_STATIC}" want)
if(COLONSPLIT_SANITIZE OR NOT (want STREQUAL AUTO OR want))
	return()
endif()
if(NOT DEFINED COLONSPLIT_STATIC_LINKS)
	try_compile(links SOURCE_FROM_CONTENT static.cpp "#include <iostream>
int main() { return std::cout.flush() ? 0 : 1; }"
		COMPILE_DEFINITIONS -fPIE LINK_OPTIONS -static-pie OUTPUT_VARIABLE log)
	set(COLONSPLIT_STATIC_LINKS ${links} CACHE INTERNAL "Does a static-PIE C++ program link?")
	# Why not: the first line that a tool began with its name, its first
	# error, not the commands that led to it.
	string(REGEX MATCH "\n[^\n -][^\n ]*: [^\n]*(error|cannot|unknown|unrecognized|undefined|incompatible|unsupported|not found)[^\n]*" why "${log}")
	string(STRIP "${why}" why)
	string(REGEX REPLACE "^[^ ]*/" "" why "${why}")
	if(links)
		set(why "")
	elseif(NOT why)
		set(why "it failed to link")
	elseif(why MATCHES "cannot find -l")
		string(APPEND why " (for a static build, install glibc-static and libstdc++-static on Fedora and RHEL)")
	endif()
	set(COLONSPLIT_STATIC_WHY "${why}" CACHE INTERNAL "Why a static-PIE C++ program does not link")
endif()
set(why "a static-PIE C++ program does not link here: ${COLONSPLIT_STATIC_WHY}")
if(COLONSPLIT_STATIC_LINKS)
	set(colonsplit_static ON)
elseif(want STREQUAL AUTO)
	message(NOTICE "colonsplit: linking dynamic PIE, since ${why}")
else()
	message(FATAL_ERROR "COLONSPLIT_STATIC is ON, but ${why}. Or configure with -DCOLONSPLIT_STATIC=OFF.")
endif()
