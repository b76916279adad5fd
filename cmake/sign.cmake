# Signs a Windows program in place (Authenticode, SHA-256, osslsigncode):
#   cmake -DSIGN_PKCS12=CERT.p12 -DSIGN_PASSWORD_FILE=FILE [-DSIGN_TIMESTAMP_URL=URL]
#         [-DOSSLSIGNCODE=PROGRAM] -P sign.cmake PROGRAM.exe
# The password stays in its file: osslsigncode reads it there, so no command line holds it.
# With SOURCE_DATE_EPOCH set, that is the signing time, so that a signed build is reproducible
# (a time-stamping server adds its own time). If signing fails the program is deleted: no
# unsigned copy is left to be mistaken for a signed one.
math(EXPR last "${CMAKE_ARGC} - 1")
set(file "${CMAKE_ARGV${last}}")
foreach(required SIGN_PKCS12 SIGN_PASSWORD_FILE)
  if(NOT ${required})
    message(FATAL_ERROR "sign.cmake needs -D${required}=...")
  endif()
endforeach()
if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
  message(FATAL_ERROR "sign.cmake: no program to sign at ${file}")
endif()
if(NOT OSSLSIGNCODE)
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# The description Windows shows in its prompts.
set(description veskaro_flutter)
set(options -pkcs12 "${SIGN_PKCS12}" -readpass "${SIGN_PASSWORD_FILE}" -h sha256 -n ${description})
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND options -time $ENV{SOURCE_DATE_EPOCH})
endif()
if(SIGN_TIMESTAMP_URL)
  list(APPEND options -ts "${SIGN_TIMESTAMP_URL}")
endif()

set(signed "${file}.signed")
file(REMOVE "${signed}")
execute_process(COMMAND "${OSSLSIGNCODE}" sign ${options} -in "${file}" -out "${signed}"
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${file}" "${signed}")
  if(output MATCHES "Wrong password")
    set(problem "the password in ${SIGN_PASSWORD_FILE} does not open ${SIGN_PKCS12}")
  elseif(output MATCHES "Failed to read password")
    set(problem "the password file ${SIGN_PASSWORD_FILE} cannot be read")
  elseif(output MATCHES "Failed to read PKCS#12")
    set(problem "the certificate file ${SIGN_PKCS12} cannot be read")
  elseif(output MATCHES "Failed to extract PKCS#12")
    set(problem "${SIGN_PKCS12} is not a PKCS#12 certificate file")
  else()
    set(problem "osslsigncode failed:\n${output}")
  endif()
  message(FATAL_ERROR "Signing: ${problem}; the unsigned ${file} is deleted")
endif()
file(RENAME "${signed}" "${file}")
