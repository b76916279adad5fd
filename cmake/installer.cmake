# The Windows installer, made with NSIS from a stage folder laid out as shipped:
#   cmake --build build/windows --target veskaro_installer
# VESKARO_INSTALLER_STAGE names the folder; by default the runnable bundle.
if(NOT DEFINED VESKARO_VERSION_TEXT)
  set(VESKARO_VERSION_TEXT "1.0.30+34")
endif()
set(VESKARO_INSTALLER_STAGE "${VESKARO_BUNDLE_DIR}" CACHE PATH
    "Folder the Windows installer ships")
find_program(VESKARO_MAKENSIS makensis)
if(NOT VESKARO_MAKENSIS)
  message(STATUS "makensis not found: no Windows installer (scripts/bootstrap installs nsis)")
  return()
endif()

set(installer ${CMAKE_BINARY_DIR}/veskaro_flutter-${VESKARO_VERSION_TEXT}-win64-setup.exe)
add_custom_command(
  OUTPUT ${installer}
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${VESKARO_INSTALLER_STAGE} -DVERSION=${VESKARO_VERSION_TEXT}
          -DOUTPUT=${installer} -DMAKENSIS=${VESKARO_MAKENSIS}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake
  DEPENDS ${VESKARO_BUNDLE_STAMP}
          ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake
          ${PROJECT_SOURCE_DIR}/resources/installer.nsi
          ${PROJECT_SOURCE_DIR}/resources/app_icon.ico
  COMMENT "Installer ${installer}"
  VERBATIM)
add_custom_target(veskaro_installer ALL DEPENDS ${installer})
# Where the end-to-end tests find it and what it ships.
set_target_properties(veskaro_installer PROPERTIES
  VESKARO_SETUP ${installer} VESKARO_STAGE ${VESKARO_INSTALLER_STAGE})
