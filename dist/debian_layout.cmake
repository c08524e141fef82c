# Run by CPack once it has staged the package's files and before it packs them, to lay them out as Debian does:
# games live in /usr/games, and their executables are stripped of the .comment and .note sections, as dh_strip
# strips them.
file(GLOB staged_bins LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*/usr/bin")
if(NOT staged_bins)
  message(FATAL_ERROR "no usr/bin under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(bin IN LISTS staged_bins)
  get_filename_component(usr "${bin}" DIRECTORY)
  file(MAKE_DIRECTORY "${usr}/games")
  file(RENAME "${bin}/ditessary" "${usr}/games/ditessary")
  file(GLOB left "${bin}/*")
  if(left)
    message(FATAL_ERROR "usr/bin holds more than the game: ${left}")
  endif()
  file(REMOVE_RECURSE "${bin}")
  execute_process(COMMAND "${CPACK_DITESSARY_STRIP}" --remove-section=.comment --remove-section=.note
                          "${usr}/games/ditessary" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
