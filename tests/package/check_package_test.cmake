# cmake -DCASE=... -DOBJDUMP=... -DBUNDLE=<stand-in bundle> -DWORK=<scratch> -P this file
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/check_package.cmake)
set(exe ${BUNDLE}/veskaro_flutter.exe)
set(plugins ${BUNDLE}/screen_retriever_windows_plugin.dll ${BUNDLE}/system_tray_plugin.dll
            ${BUNDLE}/window_manager_plugin.dll)
if(CASE STREQUAL "matching")
  veskaro_check_present("${BUNDLE}/flutter_windows.dll;${plugins}")
  veskaro_check_exports(${OBJDUMP} ${exe} "${BUNDLE}/flutter_windows.dll;${plugins}")
  message("matching set accepted")
elseif(CASE STREQUAL "missing")
  veskaro_check_present("${exe};${WORK}/no engine/flutter_windows.dll;${WORK}/elsewhere")
elseif(CASE STREQUAL "mismatched")
  # A DLL under the engine's name that exports none of the engine's functions.
  file(MAKE_DIRECTORY ${WORK}/engine)
  file(COPY_FILE ${BUNDLE}/system_tray_plugin.dll ${WORK}/engine/flutter_windows.dll)
  veskaro_check_exports(${OBJDUMP} ${exe} "${plugins};${WORK}/engine/flutter_windows.dll")
endif()
