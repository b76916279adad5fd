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

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "Sections.nsh"
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
; Set when the full colour range is on: Windows reads it at start-up.
Var FullRangeNote
; The description below the list, so that the list has room for the components' names.
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Setup never restarts the machine, so the finish page offers no restart either.
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_FINISHPAGE_TEXT "$(^NameDA) has been installed on your computer.$FullRangeNote\
    $\r$\n$\r$\nClick Finish to close Setup."
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

Section "${APP}"
  SectionIn RO
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

; Windows accepts ramps far from the identity (warm or dim evening ramps) only while this
; machine-wide value is 256, read at start-up. The app's entry records what was there before (a
; number, or "absent") and what was written, so that the uninstaller can give it back.
; An upgrade keeps the state from before the first install: the installed build's uninstaller,
; run above, gives the value back and deletes the entry, and this section records it anew (a build
; without this section never changed it). The old state holds only for the seconds between,
; which would matter only across a restart.
!define ICM_KEY "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ICM"
!define GAMMA_RANGE "GdiIcmGammaRange"
!define FULL_RANGE 256

; $0 := the gamma range now: its number, "absent", or "" for a value that is not a DWORD.
Function ReadGammaRange
  ClearErrors
  ReadRegDWORD $0 HKLM "${ICM_KEY}" "${GAMMA_RANGE}"
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  StrCpy $0 "absent"
  StrCpy $1 0
  ${Do}
    EnumRegValue $2 HKLM "${ICM_KEY}" $1
    ${If} $2 == "${GAMMA_RANGE}"
      StrCpy $0 ""
    ${EndIf}
    IntOp $1 $1 + 1
  ${LoopUntil} $2 == ""
FunctionEnd

Section "Full colour range (recommended)" FULL_RANGE_SECTION
  SetRegView 64
  Call ReadGammaRange
  ${If} $0 == ""
    DetailPrint "${GAMMA_RANGE} holds a value of another type; left as it is."
    Return
  ${EndIf}
  ; Already 256 (set by someone else, or by an install whose entry is still there): nothing to
  ; write, and any record stays as it is.
  ${If} $0 != ${FULL_RANGE}
    ; The record first: it must never claim a value that was not found.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "${GAMMA_RANGE}Before" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${GAMMA_RANGE}Written" ${FULL_RANGE}
    WriteRegDWORD HKLM "${ICM_KEY}" "${GAMMA_RANGE}" ${FULL_RANGE}
  ${EndIf}
  StrCpy $FullRangeNote "$\r$\n$\r$\nThe full colour range takes effect after the next restart \
      of Windows; Setup does not restart it."
SectionEnd

LangString FULL_RANGE_TEXT ${LANG_ENGLISH} "Lets Windows show strong warm and dim colours, from \
    the next restart on."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${FULL_RANGE_SECTION} $(FULL_RANGE_TEXT)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; /FULLRANGE=0 leaves the full colour range off (for silent installs); any other value than 0 or
; 1 stops before anything is touched, rather than guess.
Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/FULLRANGE=" $1
  ${If} ${Errors}
  ${OrIf} $1 == "1"
    Return
  ${EndIf}
  ${If} $1 != "0"
    MessageBox MB_OK|MB_ICONSTOP "/FULLRANGE= takes 0 (off) or 1 (on), not $\"$1$\".$\r$\n\
        Nothing was changed." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  !insertmacro UnselectSection ${FULL_RANGE_SECTION}
FunctionEnd

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
  ; The gamma range goes back to what the install found, but only while it still holds what the
  ; install wrote: a value changed since belongs to someone else.
  ClearErrors
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "${GAMMA_RANGE}Written"
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "${GAMMA_RANGE}Before"
  SetRegView 64
  ReadRegDWORD $3 HKLM "${ICM_KEY}" "${GAMMA_RANGE}"
  ${IfNot} ${Errors}
  ${AndIf} $3 == $1
    ${If} $2 == "absent"
      DeleteRegValue HKLM "${ICM_KEY}" "${GAMMA_RANGE}"
    ${Else}
      WriteRegDWORD HKLM "${ICM_KEY}" "${GAMMA_RANGE}" $2
    ${EndIf}
  ${EndIf}
  !insertmacro VESKARO_UNINSTALL_FOLDERS
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
