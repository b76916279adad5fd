# CPack post-build script: writes the zip again with its entries in name order, so that it does
# not depend on the order a file system lists the staged folder in. Entry times are
# SOURCE_DATE_EPOCH when that is set, as CPack's own.
set(staged ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${staged} ${staged}/*)
list(SORT entries)
foreach(zip ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${entries}
                  WORKING_DIRECTORY ${staged} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Package: cannot write ${zip}")
  endif()
endforeach()
