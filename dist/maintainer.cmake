# Who the package's Maintainer field and the installed changelog's newest entry name: MAINTAINER from the
# environment when given (make package MAINTAINER="Name <address>"), else whoever builds it, as git knows them, else
# the user at this host. The project has no address of its own to put there.
function(ditessary_maintainer source_dir result)
  set(maintainer "$ENV{MAINTAINER}")
  if(maintainer STREQUAL "")
    find_program(DITESSARY_GIT git)
    set(name "")
    set(email "")
    if(DITESSARY_GIT)
      execute_process(COMMAND "${DITESSARY_GIT}" -C "${source_dir}" config user.name
                      OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      execute_process(COMMAND "${DITESSARY_GIT}" -C "${source_dir}" config user.email
                      OUTPUT_VARIABLE email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT name STREQUAL "" AND NOT email STREQUAL "")
      set(maintainer "${name} <${email}>")
    else()
      execute_process(COMMAND id -un OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      cmake_host_system_information(RESULT host QUERY HOSTNAME)
      set(maintainer "${user} <${user}@${host}>")
    endif()
  endif()
  set(${result} "${maintainer}" PARENT_SCOPE)
endfunction()
