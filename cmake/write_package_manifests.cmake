# Writes the package manager's three manifests (schema 1.10.0) beside the setup program:
#   cmake -DSETUP=FILE -DURL=FOLDER_URL -DIDENTIFIER=ID -DVERSION=TEXT -DNAME=TEXT
#         -DPUBLISHER=TEXT -DLICENSE=TEXT -P write_package_manifests.cmake
# The installer's address is the folder's URL and the setup program's file name; its hash is of
# the setup program as it is now, so run this after signing.
foreach(required SETUP URL IDENTIFIER VERSION NAME PUBLISHER LICENSE)
  if(NOT ${required})
    message(FATAL_ERROR "write_package_manifests.cmake needs -D${required}=...")
  endif()
endforeach()
get_filename_component(folder "${SETUP}" DIRECTORY)
set(manifest "${folder}/${IDENTIFIER}")
get_filename_component(setup_name "${SETUP}" NAME)
file(SHA256 "${SETUP}" hash)
string(TOUPPER ${hash} hash)
# "+" in a path means a space to some servers.
string(REPLACE "+" "%2B" url_name "${setup_name}")
string(REGEX REPLACE "/+$" "" url "${URL}")
string(APPEND url "/${url_name}")

# A YAML double-quoted string.
function(quoted out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()
foreach(field IDENTIFIER VERSION NAME PUBLISHER LICENSE)
  quoted(${field} "${${field}}")
endforeach()
quoted(url "${url}")
set(head "PackageIdentifier: ${IDENTIFIER}\nPackageVersion: ${VERSION}\n")
set(tail "ManifestVersion: 1.10.0\n")

file(WRITE "${manifest}.yaml"
  "${head}DefaultLocale: en-US\nManifestType: version\n${tail}")
# Silent install and the installed-apps entry's key are the setup program's own. One setup
# program installs either scope; its switch picks which.
set(installers "")
foreach(scope machine:/AllUsers user:/CurrentUser)
  string(REPLACE ":" ";" scope "${scope}")
  list(GET scope 0 name)
  list(GET scope 1 switch)
  string(APPEND installers
    "  - Architecture: x64\n"
    "    Scope: ${name}\n"
    "    InstallerSwitches:\n      Silent: /S\n      SilentWithProgress: /S\n"
    "      Custom: ${switch}\n"
    "    InstallerUrl: ${url}\n"
    "    InstallerSha256: ${hash}\n")
endforeach()
# Upgrades run the setup program over the installed copy, which closes the running app first (as
# its user would) and starts it again; the comment says so to a reviewer of the manifests.
file(WRITE "${manifest}.installer.yaml"
  "# The setup program closes the app running from the install folder and, after an upgrade,\n"
  "# starts it again; exit code 2 (nothing changed) when the app does not close.\n"
  "${head}"
  "InstallerType: nullsoft\n"
  "InstallModes:\n  - interactive\n  - silent\n"
  "UpgradeBehavior: install\n"
  "ElevationRequirement: elevatesSelf\n"
  "ProductCode: ${NAME}\n"
  "Installers:\n${installers}"
  "ManifestType: installer\n${tail}")
file(WRITE "${manifest}.locale.en-US.yaml" "${head}"
  "PackageLocale: en-US\n"
  "Publisher: ${PUBLISHER}\n"
  "PackageName: ${NAME}\n"
  "License: ${LICENSE}\n"
  "ShortDescription: \"Display colour adjustment that keeps its gamma ramp on the screen\"\n"
  "ManifestType: defaultLocale\n${tail}")
