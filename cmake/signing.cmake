# Authenticode signing of what the build makes, when the team names its certificate:
#   -DVESKARO_SIGN_PKCS12=cert.p12 -DVESKARO_SIGN_PASSWORD_FILE=password.txt
# The cache holds the password file's path only; cmake/sign.cmake has osslsigncode read it.
# One variable without the other, or a file that is not there, stops the configure; a file that
# cannot be read or a wrong password stops the build at the first signing (cmake/sign.cmake).
set(VESKARO_SIGN_PKCS12 "" CACHE FILEPATH
    "Code-signing certificate and key (.p12/.pfx) to sign the programs with (empty: unsigned)")
set(VESKARO_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the password of VESKARO_SIGN_PKCS12 (its first line)")
set(VESKARO_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server for the signatures (empty: none)")

# Signs `target`'s program where it is linked, so that everything installed, zipped or packed
# from it is signed; a new certificate links it again. Nothing when unsigned.
function(veskaro_sign_when_linked target)
  if(VESKARO_SIGN_OPTIONS)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} ${VESKARO_SIGN_OPTIONS} -P ${PROJECT_SOURCE_DIR}/cmake/sign.cmake
              $<TARGET_FILE:${target}>
      VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VESKARO_SIGN_PKCS12})
  endif()
endfunction()

# The -D options that cmake/sign.cmake and cmake/make_installer.cmake sign with; empty when
# unsigned. The package step reports unsigned DLLs wherever osslsigncode is found.
set(VESKARO_SIGN_OPTIONS "")
find_program(VESKARO_OSSLSIGNCODE osslsigncode)
if(NOT VESKARO_SIGN_PKCS12 AND NOT VESKARO_SIGN_PASSWORD_FILE)
  return()
endif()
foreach(pair "PKCS12;PASSWORD_FILE" "PASSWORD_FILE;PKCS12")
  list(GET pair 0 named)
  list(GET pair 1 other)
  if(NOT VESKARO_SIGN_${other})
    message(FATAL_ERROR "Signing: VESKARO_SIGN_${named} is set but VESKARO_SIGN_${other} is "
                        "not; name both to sign, or neither for an unsigned build")
  endif()
endforeach()
foreach(named PKCS12 PASSWORD_FILE)
  if(NOT EXISTS "${VESKARO_SIGN_${named}}" OR IS_DIRECTORY "${VESKARO_SIGN_${named}}")
    message(FATAL_ERROR "Signing: VESKARO_SIGN_${named} names ${VESKARO_SIGN_${named}}, "
                        "which is not a file")
  endif()
endforeach()
if(NOT VESKARO_OSSLSIGNCODE)
  message(FATAL_ERROR "Signing: osslsigncode not found (scripts/bootstrap installs it)")
endif()

set(VESKARO_SIGN_OPTIONS -DOSSLSIGNCODE=${VESKARO_OSSLSIGNCODE}
    -DSIGN_PKCS12=${VESKARO_SIGN_PKCS12} -DSIGN_PASSWORD_FILE=${VESKARO_SIGN_PASSWORD_FILE})
if(VESKARO_SIGN_TIMESTAMP_URL)
  list(APPEND VESKARO_SIGN_OPTIONS -DSIGN_TIMESTAMP_URL=${VESKARO_SIGN_TIMESTAMP_URL})
endif()
message(STATUS "Signing with ${VESKARO_SIGN_PKCS12}")
