# Run by CPack on its staging tree before it packs: removes from the programs
# the .comment and .note sections, which carry nothing the package needs
# (lintian: binary-has-unneeded-section), as Debian's own strip does.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
if(NOT programs)
  message(FATAL_ERROR "no programs in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
