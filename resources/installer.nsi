; The Windows installer of veskaro_flutter, built by cmake/make_installer.cmake, which passes
;   VESKARO_VERSION  version text shown under installed apps ("1.0.30+34")
;   VESKARO_FILE_VERSION  the same as four numbers ("1.0.30.34")
;   VESKARO_SIGN     (optional) a command that signs the program whose path it is given
;   VESKARO_FILES    generated list of the stage folder's files and folders
;   VESKARO_OUTPUT   the setup program to write
;   VESKARO_SIZE_KB  the installed size
; Exit codes of install and uninstall (with /S too): 0 done, 1 cancelled, 2 stopped (the app is
; running, or an older copy could not be removed). Like every NSIS uninstaller, uninstall.exe
; hands over to a copy of itself and returns at once; run a copy with /S _?=FOLDER to wait for
; its exit code.
Unicode true
Target amd64-unicode
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; No file times in the setup program, so that two builds of one commit are the same bytes.
SetDateSave off

!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "${VESKARO_FILES}"

!define APP "veskaro_flutter"
!define EXE "veskaro_flutter.exe"
!define PUBLISHER "com.veskaro"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SHORTCUT "$SMPROGRAMS\${APP}.lnk"
; The app's single-instance mutex: this prefix and its exe path, with \ space . : made "_"
; (the prefix's backslash too, so the name is not in the session namespace).
!define MUTEX_PREFIX "Local\VeskaroCenter-"
!define TRY_AGAIN "Close it and try again; nothing was changed."
!define SYNCHRONIZE 0x00100000
!define GENERIC_WRITE 0x40000000
!define OPEN_EXISTING 3
!define INVALID_HANDLE -1
!define ERROR_SHARING_VIOLATION 32

Name "${APP}"
OutFile "${VESKARO_OUTPUT}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
!ifdef VESKARO_SIGN
  !uninstfinalize '${VESKARO_SIGN} "%1"' = 0
  !finalize '${VESKARO_SIGN} "%1"' = 0
!endif
VIProductVersion "${VESKARO_FILE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VESKARO_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VESKARO_VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2024 ${PUBLISHER}. All rights reserved."

!define MUI_ICON "app_icon.ico"
!define MUI_UNICON "app_icon.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Quits with exit code 2 when the app runs from folder $0, before anything is touched. The app's
; own mutex is named after the exe path as it was started; a running exe also cannot be opened
; for writing, however its path was spelled.
!macro DEFINE_STOP_IF_RUNNING un
Function ${un}StopIfRunning
  StrCpy $1 "${MUTEX_PREFIX}$0\${EXE}"
  StrCpy $2 ""
  StrCpy $3 0
  next:
    StrCpy $4 $1 1 $3
    StrCmp $4 "" built
    StrCmp $4 "\" replace
    StrCmp $4 " " replace
    StrCmp $4 "." replace
    StrCmp $4 ":" replace keep
  replace:
    StrCpy $4 "_"
  keep:
    StrCpy $2 "$2$4"
    IntOp $3 $3 + 1
    Goto next
  built:
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w r2) p .r4'
  ${If} $4 == 0
    StrCpy $1 "$0\${EXE}"
    System::Call 'kernel32::CreateFileW(w r1, i ${GENERIC_WRITE}, i 0, p 0, \
        i ${OPEN_EXISTING}, i 0, p 0) p .r4 ?e'
    Pop $5
    ${If} $4 != ${INVALID_HANDLE}
    ${OrIf} $5 != ${ERROR_SHARING_VIOLATION}
      ${If} $4 != ${INVALID_HANDLE}
        System::Call 'kernel32::CloseHandle(p r4)'
      ${EndIf}
      Return
    ${EndIf}
  ${Else}
    System::Call 'kernel32::CloseHandle(p r4)'
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "${APP} is running from $0.$\r$\n${TRY_AGAIN}" /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_IF_RUNNING ""
!insertmacro DEFINE_STOP_IF_RUNNING "un."

Section "Install"
  SetShellVarContext all
  StrCpy $0 $INSTDIR
  Call StopIfRunning
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    StrCpy $0 $R0
    Call StopIfRunning
    ; The installed build's own uninstaller removes exactly its files, so none of them stay.
    ; Run from a copy with _?= it waits, returns its exit code and can delete itself.
    InitPluginsDir
    ClearErrors
    CopyFiles /SILENT "$R0\${UNINSTALLER}" "$PLUGINSDIR\${UNINSTALLER}"
    ExecWait '"$PLUGINSDIR\${UNINSTALLER}" /S _?=$R0' $R1
    ${If} ${Errors}
    ${OrIf} $R1 != 0
      MessageBox MB_OK|MB_ICONSTOP "The installed copy in $R0 could not be removed." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}

  !insertmacro VESKARO_INSTALL_FILES
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ; The shortcut starts the app in its folder, where its data folder is. Index 0 is the exe's
  ; only icon group, 101 (NSIS keeps 12 bits of the index, so no negative resource ids).
  SetOutPath "$INSTDIR"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VESKARO_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${VESKARO_SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  StrCpy $0 $INSTDIR
  Call un.StopIfRunning
FunctionEnd

; Removes what the installer wrote and nothing else: files the user added keep their folder.
Section "Uninstall"
  SetShellVarContext all
  ClearErrors
  !insertmacro VESKARO_UNINSTALL_FILES
  ${If} ${Errors}
    ; The entry and the uninstaller stay, so that the user can try again.
    SetErrorLevel 2
    Return
  ${EndIf}
  !insertmacro VESKARO_UNINSTALL_FOLDERS
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
