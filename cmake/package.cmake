# The shippable folder (cmake --install) and its zip (cpack): veskaro_flutter.exe at the top,
# the engine and plug-in DLLs beside it, and the app build's data/ folder. Each comes from the
# folder named by its cache variable, or from the stand-ins in the build's bundle, which the
# package's file name then says.

include(${CMAKE_CURRENT_LIST_DIR}/check_package.cmake)

set(stand_ins ${VESKARO_BUNDLE_DIR})
set(package_suffix "")
foreach(kind ENGINE PLUGINS APP_DATA)
  if(VESKARO_${kind}_DIR)
    set(${kind}_dir ${VESKARO_${kind}_DIR})
  else()
    set(${kind}_dir ${stand_ins})
    set(package_suffix "-stand-ins")
  endif()
endforeach()
if(NOT VESKARO_APP_DATA_DIR)
  set(APP_DATA_dir ${stand_ins}/data)
endif()

set(engine_files ${ENGINE_dir}/flutter_windows.dll)
set(plugin_files)
foreach(plugin ${VESKARO_PLUGIN_LIBRARIES})
  list(APPEND plugin_files ${PLUGINS_dir}/${plugin}.dll)
endforeach()
set(data_files ${APP_DATA_dir}/flutter_assets ${APP_DATA_dir}/icudtl.dat ${APP_DATA_dir}/app.so)
set(dll_files ${engine_files} ${plugin_files})
# What the install tree is made from, for the steps that build one (the stand-ins' bundle is
# filled by its own target, whose stamp stands for it).
if(package_suffix)
  set(VESKARO_PACKAGE_INPUTS ${VESKARO_BUNDLE_STAMP})
else()
  set(VESKARO_PACKAGE_INPUTS ${dll_files} ${data_files})
endif()

# Named folders are checked now; the stand-ins exist only once built.
if(VESKARO_ENGINE_DIR)
  veskaro_check_present("${engine_files}")
endif()
if(VESKARO_PLUGINS_DIR)
  veskaro_check_present("${plugin_files}")
endif()
if(VESKARO_APP_DATA_DIR)
  veskaro_check_present("${data_files}")
endif()

# At install time, before anything is copied: every file present, and every function the
# executable imports exported by the DLL it imports it from (read by the MinGW-w64 binutils'
# objdump, which a MinGW toolchain always has).
find_program(VESKARO_OBJDUMP NAMES ${CMAKE_OBJDUMP} x86_64-w64-mingw32-objdump objdump)
set(check_exports "")
if(VESKARO_OBJDUMP)
  set(check_exports "veskaro_check_exports(${VESKARO_OBJDUMP} \"$<TARGET_FILE:veskaro_flutter>\"
                                           \"${dll_files}\")")
else()
  message(WARNING "No objdump: the package will not check that the DLLs export what "
                  "veskaro_flutter.exe imports (install the MinGW-w64 binutils)")
endif()
install(CODE "
  include(${CMAKE_CURRENT_LIST_DIR}/check_package.cmake)
  veskaro_check_present(\"${dll_files};${data_files}\")
  ${check_exports}
")
install(TARGETS veskaro_flutter RUNTIME DESTINATION .)
install(FILES ${dll_files} DESTINATION .)
install(DIRECTORY ${APP_DATA_dir}/flutter_assets DESTINATION data)
install(FILES ${APP_DATA_dir}/icudtl.dat ${APP_DATA_dir}/app.so DESTINATION data)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME veskaro_flutter)
set(CPACK_PACKAGE_VENDOR com.veskaro)
set(CPACK_PACKAGE_VERSION ${VESKARO_VERSION_TEXT})
# Also the installer's name and folder (CPack's own variables change inside include(CPack)).
set(VESKARO_PACKAGE_FILE_NAME veskaro_flutter-${VESKARO_VERSION_TEXT}-win64${package_suffix})
set(VESKARO_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# What was packed with other signing settings (before signing was turned on, off or to another
# certificate) is not what this build makes: an unsigned setup must not pass for a signed one.
set(signing "${VESKARO_SIGN_PKCS12}|${VESKARO_SIGN_PASSWORD_FILE}")
if(NOT signing STREQUAL "${VESKARO_PACKAGE_SIGNING}")
  file(REMOVE_RECURSE ${VESKARO_PACKAGE_DIRECTORY})
  set(VESKARO_PACKAGE_SIGNING "${signing}" CACHE INTERNAL "Signing settings of the package folder")
endif()
set(CPACK_PACKAGE_FILE_NAME ${VESKARO_PACKAGE_FILE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${VESKARO_PACKAGE_DIRECTORY})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_VESKARO_OSSLSIGNCODE ${VESKARO_OSSLSIGNCODE})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sorted_zip.cmake
    ${CMAKE_CURRENT_LIST_DIR}/unsigned_dlls.cmake ${CMAKE_CURRENT_LIST_DIR}/checksums.cmake)
include(CPack)
