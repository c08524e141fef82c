# Run by the install (make install, and CPack as it stages the package): writes the changelog, its newest entry
# signed by whoever builds, and compresses it as Debian wants, without a name or time stamp.
# Expects DITESSARY_SOURCE_DIR, DITESSARY_CHANGELOG (the source), DITESSARY_DOC_DIR (the destination) and GZIP.
include("${CMAKE_CURRENT_LIST_DIR}/maintainer.cmake")
ditessary_maintainer("${DITESSARY_SOURCE_DIR}" maintainer)
file(READ "${DITESSARY_CHANGELOG}" text)
string(REPLACE "@MAINTAINER@" "${maintainer}" text "${text}")
set(changelog "${DITESSARY_DOC_DIR}/changelog")
message(STATUS "Installing: ${changelog}.gz")
file(MAKE_DIRECTORY "${DITESSARY_DOC_DIR}")
file(WRITE "${changelog}" "${text}")
execute_process(COMMAND "${GZIP}" -9nf "${changelog}" COMMAND_ERROR_IS_FATAL ANY)
file(CHMOD "${changelog}.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
