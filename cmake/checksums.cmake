# CPack post-build script: SHA256SUMS in the package folder, in the format `sha256sum -c` reads,
# for the zip and the setup program of the same name when one was built there (signed by now).
# CPack copies the zip there from its work folder after this script.
set(sums "")
foreach(zip ${CPACK_PACKAGE_FILES})
  get_filename_component(name ${zip} NAME)
  string(REGEX REPLACE "\\.zip$" "-setup.exe" setup_name ${name})
  set(setup ${CPACK_PACKAGE_DIRECTORY}/${setup_name})
  file(SHA256 ${zip} hash)
  string(APPEND sums "${hash}  ${name}\n")
  if(EXISTS ${setup})
    file(SHA256 ${setup} hash)
    string(APPEND sums "${hash}  ${setup_name}\n")
  endif()
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
