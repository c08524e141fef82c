# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE): the Maintainer field, and the one time every file and
# archive member in the package carries, so that two builds of one commit give the same bytes. The time is
# SOURCE_DATE_EPOCH when given, else that of the last commit, else that of the changelog's newest entry.
include("${CMAKE_CURRENT_LIST_DIR}/maintainer.cmake")
ditessary_maintainer("${CPACK_DITESSARY_SOURCE_DIR}" CPACK_DEBIAN_PACKAGE_MAINTAINER)

if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "")
  find_program(DITESSARY_GIT git)
  if(DITESSARY_GIT)
    execute_process(COMMAND "${DITESSARY_GIT}" -C "${CPACK_DITESSARY_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    file(STRINGS "${CPACK_DITESSARY_SOURCE_DIR}/dist/changelog" trailer REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX REPLACE "^ -- .*>  " "" date "${trailer}")
    execute_process(COMMAND date -d "${date}" +%s OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
