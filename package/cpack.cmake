# Read by cpack before each package is made. Packages are reproducible by
# default: every date in them is SOURCE_DATE_EPOCH, which, unless the
# caller sets it, is the last commit's date, or where there is no git (a
# release tarball) the date of the manual pages.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
	# Only our own history: a source tree unpacked inside another
	# repository has none.
	execute_process(COMMAND git -C "${CPACK_COLONSPLIT_SOURCE_DIR}" rev-parse --show-toplevel
		OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	file(REAL_PATH "${CPACK_COLONSPLIT_SOURCE_DIR}" here)
	if(top AND top STREQUAL here)
		execute_process(COMMAND git -C "${here}" log -1 --format=%ct
			OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
	endif()
	if(NOT epoch MATCHES "^[0-9]+$")
		file(STRINGS "${CPACK_COLONSPLIT_SOURCE_DIR}/headslug.1" dd REGEX "^\\.Dd ")
		string(REGEX REPLACE "^\\.Dd " "" dd "${dd}")
		execute_process(COMMAND date -u -d "${dd}" +%s
			OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
	endif()
	set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
