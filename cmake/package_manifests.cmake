# The Windows package manager's manifests of the setup program (schema 1.10.0: version,
# installer and default-locale files), written beside it once it is built and signed. They name
# where users download it, so they are written only when VESKARO_RELEASE_URL says where that is.
# Include from installer.cmake: sets `manifests` (the files) and `manifest_commands`.
set(VESKARO_RELEASE_URL "" CACHE STRING
    "Folder URL the setup program is published in, for the package manager's manifests")
set(VESKARO_PACKAGE_IDENTIFIER Veskaro.VeskaroFlutter CACHE STRING
    "Package manager identifier of the app (Publisher.Name)")
set(VESKARO_PACKAGE_LICENSE Proprietary CACHE STRING "License named in the package manifest")

set(manifest_prefix ${VESKARO_PACKAGE_DIRECTORY}/${VESKARO_PACKAGE_IDENTIFIER})
set(manifests ${manifest_prefix}.yaml ${manifest_prefix}.installer.yaml
              ${manifest_prefix}.locale.en-US.yaml)
set(manifest_commands "")
if(NOT VESKARO_RELEASE_URL)
  message(STATUS "VESKARO_RELEASE_URL not set: no package manager manifests")
  file(REMOVE ${manifests})
  set(manifests "")
  return()
endif()
if(NOT VESKARO_RELEASE_URL MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://.+")
  message(FATAL_ERROR "VESKARO_RELEASE_URL must be an http:// or https:// URL, not "
                      "\"${VESKARO_RELEASE_URL}\"")
endif()
# Dot-separated parts without spaces or the characters file names cannot hold.
set(part [=[[^. /\:*?"<>|]]=])
if(NOT VESKARO_PACKAGE_IDENTIFIER MATCHES "^${part}+(\\.${part}+)+$")
  message(FATAL_ERROR "VESKARO_PACKAGE_IDENTIFIER \"${VESKARO_PACKAGE_IDENTIFIER}\" is not "
                      "Publisher.Name (dot-separated, no spaces)")
endif()
set(manifest_commands
  COMMAND ${CMAKE_COMMAND} -DSETUP=${installer} -DURL=${VESKARO_RELEASE_URL}
          -DIDENTIFIER=${VESKARO_PACKAGE_IDENTIFIER} -DVERSION=${VESKARO_VERSION_TEXT}
          -DNAME=${CPACK_PACKAGE_NAME} -DPUBLISHER=${CPACK_PACKAGE_VENDOR}
          -DLICENSE=${VESKARO_PACKAGE_LICENSE}
          -P ${CMAKE_CURRENT_LIST_DIR}/write_package_manifests.cmake)
