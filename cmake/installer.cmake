# The Windows installer, made with NSIS from the same install tree as the zip:
#   cmake --build <build> --target veskaro_installer
# Include after package.cmake, whose package name and inputs it shares.
find_program(VESKARO_MAKENSIS makensis)
if(NOT VESKARO_MAKENSIS)
  message(STATUS "makensis not found: no Windows installer (scripts/bootstrap installs nsis)")
  return()
endif()

set(stage ${CMAKE_BINARY_DIR}/installer_stage)
file(GLOB installer_texts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/installer_texts/*.txt)
set(installer ${VESKARO_PACKAGE_DIRECTORY}/${VESKARO_PACKAGE_FILE_NAME}-setup.exe)
include(${CMAKE_CURRENT_LIST_DIR}/package_manifests.cmake)
add_custom_command(
  OUTPUT ${installer} ${manifests}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage} --config $<CONFIG>
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${stage} -DVERSION=${VESKARO_VERSION_TEXT}
          -DOUTPUT=${installer} -DHELPER=$<TARGET_FILE:setup_helper>
          -DMAKENSIS=${VESKARO_MAKENSIS} ${VESKARO_SIGN_OPTIONS}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake
  ${manifest_commands}
  DEPENDS veskaro_flutter setup_helper ${VESKARO_PACKAGE_INPUTS} ${VESKARO_SIGN_PKCS12}
          ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake
          ${PROJECT_SOURCE_DIR}/cmake/sign.cmake
          ${PROJECT_SOURCE_DIR}/resources/installer.nsi
          ${PROJECT_SOURCE_DIR}/resources/app_icon.ico
          ${installer_texts}
  COMMENT "Installer ${installer}"
  VERBATIM)
add_custom_target(veskaro_installer ALL DEPENDS ${installer})
if(TARGET veskaro_bundle)
  add_dependencies(veskaro_installer veskaro_bundle)
endif()
# Where the end-to-end tests find it and what it ships.
set_target_properties(veskaro_installer PROPERTIES VESKARO_SETUP ${installer} VESKARO_STAGE ${stage}
                                                   VESKARO_HELPER $<TARGET_FILE:setup_helper>)
