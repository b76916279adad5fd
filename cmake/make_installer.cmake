# Builds the Windows installer from a stage folder (an install tree):
#   cmake -DSTAGE=DIR -DVERSION=TEXT -DOUTPUT=FILE [-DMAKENSIS=PROGRAM] [signing options]
#         -P make_installer.cmake
# VERSION is "MAJOR.MINOR.PATCH+BUILD". With cmake/sign.cmake's -DSIGN_... options, makensis
# signs the uninstaller it embeds and the setup program it writes.
# The file lists are made from the folder here, so that the uninstaller removes exactly what the
# installer wrote, whatever the folder holds.
foreach(required STAGE VERSION OUTPUT)
  if(NOT ${required})
    message(FATAL_ERROR "make_installer.cmake needs -D${required}=...")
  endif()
endforeach()
get_filename_component(STAGE "${STAGE}" ABSOLUTE)
if(NOT IS_DIRECTORY "${STAGE}")
  message(FATAL_ERROR "no stage folder at ${STAGE}")
endif()
if(NOT MAKENSIS)
  find_program(MAKENSIS makensis REQUIRED)
endif()
get_filename_component(script_dir "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)
set(nsi "${script_dir}/resources/installer.nsi")
# The version record's four numbers.
string(REPLACE "+" "." file_version "${VERSION}")
if(NOT file_version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "make_installer.cmake: VERSION ${VERSION} is not MAJOR.MINOR.PATCH+BUILD")
endif()
set(sign "")
if(SIGN_PKCS12)
  # The command makensis runs on each program it finishes, the program's path appended.
  set(sign "\"${CMAKE_COMMAND}\"")
  foreach(option OSSLSIGNCODE SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL)
    if(${option})
      string(APPEND sign " \"-D${option}=${${option}}\"")
    endif()
  endforeach()
  set(sign "-DVESKARO_SIGN=${sign} -P \"${CMAKE_CURRENT_LIST_DIR}/sign.cmake\"")
endif()

file(GLOB_RECURSE files RELATIVE "${STAGE}" "${STAGE}/*")
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${STAGE}" "${STAGE}/*")
set(folders ${entries})
if(files)
  list(REMOVE_ITEM folders ${files})
endif()
list(SORT files)
list(SORT folders)

# NSIS reads "$" as the start of a variable.
function(nsis_escape out text)
  string(REPLACE "$" "$$" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The path of a stage entry in the installed folder.
function(installed_path out relative)
  nsis_escape(relative "${relative}")
  if(relative)
    string(PREPEND relative "/")
  endif()
  string(REPLACE "/" "\\" relative "$INSTDIR${relative}")
  set(${out} "${relative}" PARENT_SCOPE)
endfunction()

set(install "")
set(uninstall "")
set(size 0)
foreach(folder ${folders})
  installed_path(target "${folder}")
  string(APPEND install "  CreateDirectory \"${target}\"\n")
endforeach()
foreach(file ${files})
  get_filename_component(folder "${STAGE}/${file}" DIRECTORY)
  file(RELATIVE_PATH folder "${STAGE}" "${folder}")
  installed_path(target_folder "${folder}")
  installed_path(target "${file}")
  string(APPEND install "  SetOutPath \"${target_folder}\"\n  File \"${STAGE}/${file}\"\n")
  string(APPEND uninstall "  Delete \"${target}\"\n")
  file(SIZE "${STAGE}/${file}" bytes)
  math(EXPR size "${size} + ${bytes}")
endforeach()
# Children sort after their parents; remove them first.
list(REVERSE folders)
set(remove_folders "")
foreach(folder ${folders})
  installed_path(target "${folder}")
  string(APPEND remove_folders "  RMDir \"${target}\"\n")
endforeach()
math(EXPR size_kb "(${size} + 1023) / 1024")

# Beside the stage, not the setup program: the package folder holds only what ships.
set(list_file "${STAGE}-files.nsh")
file(WRITE "${list_file}"
  "!macro VESKARO_INSTALL_FILES\n${install}!macroend\n"
  "!macro VESKARO_UNINSTALL_FILES\n${uninstall}!macroend\n"
  "!macro VESKARO_UNINSTALL_FOLDERS\n${remove_folders}!macroend\n")

execute_process(
  COMMAND "${MAKENSIS}" -V2 -NOCONFIG "-DVESKARO_VERSION=${VERSION}"
          "-DVESKARO_FILE_VERSION=${file_version}" ${sign} "-DVESKARO_FILES=${list_file}"
          "-DVESKARO_OUTPUT=${OUTPUT}" "-DVESKARO_SIZE_KB=${size_kb}" "${nsi}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "makensis failed (${result})")
endif()
