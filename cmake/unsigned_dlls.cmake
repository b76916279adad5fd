# CPack post-build script: one line per shipped DLL that carries no Authenticode signature. The
# engine and plug-ins are shipped as the team supplies them, never signed here, so this is what
# users will be asked to trust as it is. Needs osslsigncode (CPACK_VESKARO_OSSLSIGNCODE).
if(NOT CPACK_VESKARO_OSSLSIGNCODE)
  return()
endif()
file(GLOB dlls LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/*.dll)
list(SORT dlls)
set(signature ${CPACK_TEMPORARY_DIRECTORY}.signature)
foreach(dll ${dlls})
  file(REMOVE ${signature})
  execute_process(COMMAND ${CPACK_VESKARO_OSSLSIGNCODE} extract-signature -in ${dll}
                          -out ${signature}
                  OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE unsigned)
  if(unsigned)
    get_filename_component(name ${dll} NAME)
    message(STATUS "Package: ${name} carries no signature")
  endif()
endforeach()
file(REMOVE ${signature})
