; The Windows installer of veskaro_flutter, built by cmake/make_installer.cmake, which passes
;   VESKARO_VERSION  version text shown under installed apps ("1.0.30+34")
;   VESKARO_FILE_VERSION  the same as four numbers ("1.0.30.34")
;   VESKARO_SIGN     (optional) a command that signs the program whose path it is given
;   VESKARO_FILES    generated list of the stage folder's files and folders
;   VESKARO_OUTPUT   the setup program to write
;   VESKARO_SIZE_KB  the installed size
;   VESKARO_TEXTS    generated languages and their texts (from resources/installer_texts)
;   VESKARO_HELPER   setup_helper.exe, which closes and starts the app and resets the screen
; Two install modes: for all users (Program Files, HKLM, administrators only) and only for the
; current user (the profile's Programs folder and HKCU, no rights needed). /AllUsers or
; /CurrentUser picks one; a silent install without either is for all users, as before there was a
; choice. A copy of the app running from the folder is closed first (after a question that can
; be cancelled, none when silent) and, after an install, started again. Exit codes of install
; and uninstall (with /S too): 0 done, 1 cancelled, 2 stopped (a bad switch, a copy installed in
; the other mode, the running app not closed or kept, or an older copy could not be removed).
; Like every NSIS uninstaller, uninstall.exe hands over to a copy of itself and returns at once;
; run a copy with /S _?=FOLDER to wait for its exit code. /UPGRADE (given by Setup to the copy it
; replaces) leaves the screen's ramp alone.
Unicode true
Target amd64-unicode
ManifestSupportedOS all
; Administrators are asked once, so that they can install for all users; everyone else runs
; without elevation and installs for themselves.
RequestExecutionLevel highest
SetCompressor /SOLID lzma
; No file times in the setup program, so that two builds of one commit are the same bytes.
SetDateSave off

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "Sections.nsh"
!include "nsDialogs.nsh"
!include "${VESKARO_FILES}"

!define APP "veskaro_flutter"
!define EXE "veskaro_flutter.exe"
!define PUBLISHER "com.veskaro"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_PARENT}\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_COMMAND '"$INSTDIR\${EXE}"'
!define SHORTCUT "$SMPROGRAMS\${APP}.lnk"
; The app's single-instance mutex: this prefix and its exe path, with \ space . : made "_"
; (the prefix's backslash too, so the name is not in the session namespace).
!define MUTEX_PREFIX "Local\VeskaroCenter-"
!define SYNCHRONIZE 0x00100000
!define GENERIC_WRITE 0x40000000
!define OPEN_EXISTING 3
!define INVALID_HANDLE -1
!define ERROR_SHARING_VIOLATION 32

Name "${APP}"
OutFile "${VESKARO_OUTPUT}"
BrandingText "${APP} ${VESKARO_VERSION}"
; No InstallDir: $INSTDIR is set in .onInit only when /D= named a folder, so that the mode's own
; folder can be the default otherwise.
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
; "all" or "user"; the registry root SHCTX and the shell folders follow it.
Var Mode
Var IsAdmin
; 1 when the command line named the folder (/D=) or the mode (/AllUsers, /CurrentUser).
Var FolderNamed
Var ModeNamed
; /FULLRANGE= and /STARTATSIGNIN= as given: 0, 1, or "" when absent.
Var FullRangeSwitch
Var StartSwitch
Var FullRangeText
Var ComponentsText
Var StartText
Var AllUsersButton
; What the texts of resources/installer_texts name {FOLDER}, {SWITCH} and {VALUE}.
Var TextFolder
Var TextSwitch
Var TextValue
; 1 when the running app was closed, so that Setup starts it again.
Var Closed
; 1 when the uninstaller runs for an upgrade (/UPGRADE).
Var Upgrade
; The description below the list, so that the list has room for the components' names.
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "$ComponentsText"
Page custom ModePageShow ModePageLeave
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Setup never restarts the machine, so the finish page offers no restart either.
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_FINISHPAGE_TEXT "$(MUI_TEXT_FINISH_INFO_TEXT)$FullRangeNote"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The languages, English first: the wizard speaks the Windows display language when it is one of
; them, else English, without asking.
!include /CHARSET=UTF8 "${VESKARO_TEXTS}"

; $4 := 1 when the app runs from folder $0, else 0. The app's own mutex is named after the exe
; path as it was started; a running exe also cannot be opened for writing, however its path was
; spelled (and in another session, whose mutexes are out of sight).
!macro DEFINE_RUNNING_FUNCTIONS un QUESTION
Function ${un}IsRunning
  StrCpy $4 1
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
      StrCpy $4 0
      Return
    ${EndIf}
  ${Else}
    System::Call 'kernel32::CloseHandle(p r4)'
  ${EndIf}
  StrCpy $4 1
FunctionEnd

Function ${un}ExtractHelper
  InitPluginsDir
  File "/oname=$PLUGINSDIR\setup_helper.exe" "${VESKARO_HELPER}"
FunctionEnd

; Closes the app running from folder $0 as a user would, once the user agreed (never asked when
; silent), and waits for it to end; sets $Closed. Quits with exit code 2 and nothing touched when
; the user keeps it, or when it does not end (it hangs, or runs in another user's session, where
; no window of this one reaches it).
Function ${un}CloseIfRunning
  Call ${un}IsRunning
  ${If} $4 == 0
    Return
  ${EndIf}
  StrCpy $TextFolder $0
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION "$(${QUESTION})" /SD IDOK IDOK close
  SetErrorLevel 2
  Quit
  close:
  Call ${un}ExtractHelper
  ExecWait '"$PLUGINSDIR\setup_helper.exe" close "$0\${EXE}"'
  Call ${un}IsRunning
  ${If} $4 == 1
    MessageBox MB_OK|MB_ICONSTOP "$(NOT_CLOSED)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  StrCpy $Closed 1
FunctionEnd
!macroend
!insertmacro DEFINE_RUNNING_FUNCTIONS "" RUNNING_SETUP
!insertmacro DEFINE_RUNNING_FUNCTIONS "un." RUNNING_UNINSTALL

Section "${APP}"
  SectionIn RO
  StrCpy $0 $INSTDIR
  Call CloseIfRunning
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    StrCpy $0 $R0
    Call CloseIfRunning
    ; The installed build's own uninstaller removes exactly its files, so none of them stay.
    ; Run from a copy with _?= it waits, returns its exit code and can delete itself.
    InitPluginsDir
    ClearErrors
    CopyFiles /SILENT "$R0\${UNINSTALLER}" "$PLUGINSDIR\${UNINSTALLER}"
    ExecWait '"$PLUGINSDIR\${UNINSTALLER}" /S /UPGRADE _?=$R0' $R1
    ${If} ${Errors}
    ${OrIf} $R1 != 0
      StrCpy $TextFolder $R0
      MessageBox MB_OK|MB_ICONSTOP "$(NOT_REMOVED)" /SD IDOK
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

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VESKARO_VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${VESKARO_SIZE_KB}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; The uninstaller speaks the language Setup spoke.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallerLanguage" $LANGUAGE
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

Section "$(FULL_RANGE)" FULL_RANGE_SECTION
  ; A machine-wide value: never from an install for one user.
  ${If} $Mode != "all"
    Return
  ${EndIf}
  SetRegView 64
  Call ReadGammaRange
  ${If} $0 == ""
    DetailPrint "$(RANGE_OTHER_TYPE)"
    Return
  ${EndIf}
  ; Already 256 (set by someone else, or by an install whose entry is still there): nothing to
  ; write, and any record stays as it is.
  ${If} $0 != ${FULL_RANGE}
    ; The record first: it must never claim a value that was not found.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "${GAMMA_RANGE}Before" $0
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "${GAMMA_RANGE}Written" ${FULL_RANGE}
    WriteRegDWORD HKLM "${ICM_KEY}" "${GAMMA_RANGE}" ${FULL_RANGE}
  ${EndIf}
  SetRegView default
  StrCpy $FullRangeNote "$\r$\n$\r$\n$(FULL_RANGE_NOTE)"
SectionEnd

; HKCU's Run key for an install for one user, HKLM's for all users.
Section /o "$(START_AT_SIGN_IN)" START_SECTION
  WriteRegStr SHCTX "${RUN_KEY}" "${APP}" '${RUN_COMMAND}'
SectionEnd

; The app closed above starts again with no arguments, as the user who ran Setup and never
; elevated: Setup may run elevated, so the helper then asks the desktop's shell (Explorer, which
; runs as the signed-in user without elevation) to start it.
Section "-Start again"
  ${If} $Closed == 1
    ExecWait '"$PLUGINSDIR\setup_helper.exe" start "$INSTDIR\${EXE}"' $0
    ${If} $0 != 0
      DetailPrint "$(NOT_STARTED)"
    ${EndIf}
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${FULL_RANGE_SECTION} $FullRangeText
  !insertmacro MUI_DESCRIPTION_TEXT ${START_SECTION} $StartText
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Stops with exit code 2 and message $0, before anything is touched.
Function Refuse
  MessageBox MB_OK|MB_ICONSTOP "$0$\r$\n$(NOTHING_CHANGED)" /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd

; $1 := the value of switch $0 in the parameters $R9 (its presence in the error flag), refusing
; any but 0 and 1.
Function ReadFlagSwitch
  ClearErrors
  ${GetOptions} $R9 $0 $1
  ${If} ${Errors}
    StrCpy $1 ""
    Return
  ${EndIf}
  ${If} $1 != "0"
  ${AndIf} $1 != "1"
    StrCpy $TextSwitch $0
    StrCpy $TextValue $1
    StrCpy $0 "$(SWITCH_TAKES_0_OR_1)"
    Call Refuse
  ${EndIf}
FunctionEnd

; $1 := 1 when the switch $0 (which takes no value) is in the parameters $R9, else 0.
Function ReadModeSwitch
  ClearErrors
  ${GetOptions} $R9 $0 $1
  ${If} ${Errors}
    StrCpy $1 0
    Return
  ${EndIf}
  ${If} $1 != ""
    StrCpy $TextSwitch $0
    StrCpy $TextValue $1
    StrCpy $0 "$(SWITCH_TAKES_NO_VALUE)"
    Call Refuse
  ${EndIf}
  StrCpy $1 1
FunctionEnd

; $1 := why mode $0 cannot be installed, or "". One copy per user: a copy in the other mode would
; leave two entries under installed apps that upgrade separately.
Function ModeRefusal
  StrCpy $1 ""
  ${If} $0 == "all"
    ${If} $IsAdmin != 1
      StrCpy $1 "$(ALL_USERS_NEEDS_ADMIN)"
      Return
    ${EndIf}
    ReadRegStr $TextFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $1 "$(INSTALLED_FOR_ME)"
  ${Else}
    ReadRegStr $TextFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $1 "$(INSTALLED_FOR_ALL)"
  ${EndIf}
  ${If} $TextFolder == ""
    StrCpy $1 ""
  ${EndIf}
FunctionEnd

; Takes mode $0: the shell folders and SHCTX, the default folder (the installed copy's, else the
; mode's own) and what the components offer.
Function SetMode
  StrCpy $Mode $0
  ${If} $Mode == "all"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $FolderNamed != 1
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $Mode == "all"
      StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
    ${Else}
      ; FOLDERID_UserProgramFiles, which is this same folder where Windows does not say.
      GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
      ${EndIf}
      StrCpy $INSTDIR "$INSTDIR\${APP}"
    ${EndIf}
  ${EndIf}

  ${If} $Mode == "all"
    !insertmacro ClearSectionFlag ${FULL_RANGE_SECTION} ${SF_RO}
    ${If} $FullRangeSwitch == "0"
      !insertmacro UnselectSection ${FULL_RANGE_SECTION}
    ${Else}
      !insertmacro SelectSection ${FULL_RANGE_SECTION}
    ${EndIf}
    SectionSetText ${FULL_RANGE_SECTION} "$(FULL_RANGE)"
    StrCpy $FullRangeText "$(FULL_RANGE_DESCRIPTION)"
    StrCpy $ComponentsText "$(^ComponentsText)"
    StrCpy $StartText "$(START_ANYONE)"
  ${Else}
    !insertmacro UnselectSection ${FULL_RANGE_SECTION}
    !insertmacro SetSectionFlag ${FULL_RANGE_SECTION} ${SF_RO}
    SectionSetText ${FULL_RANGE_SECTION} "$(FULL_RANGE_ALL_USERS_ONLY)"
    StrCpy $FullRangeText "$(FULL_RANGE_NOT_HERE)"
    StrCpy $ComponentsText "$(COMPONENTS_ONLY_ME) $(^ClickNext)"
    StrCpy $StartText "$(START_ONLY_ME)"
  ${EndIf}
  ; Kept on an upgrade only when chosen again; the wizard offers it ticked when the installed copy
  ; starts at sign-in.
  ${If} $StartSwitch == ""
  ${AndIfNot} ${Silent}
    ReadRegStr $1 SHCTX "${RUN_KEY}" "${APP}"
    ${If} $1 == '${RUN_COMMAND}'
      !insertmacro SelectSection ${START_SECTION}
    ${Else}
      !insertmacro UnselectSection ${START_SECTION}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Switches (with /S or in the wizard): /AllUsers or /CurrentUser, /FULLRANGE=0|1 (all users
; only), /STARTATSIGNIN=0|1. A bad or conflicting one stops before anything is touched.
Function .onInit
  UserInfo::GetAccountType
  Pop $0
  StrCpy $IsAdmin 0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
  StrCpy $FolderNamed 0
  ${If} $INSTDIR != ""
    StrCpy $FolderNamed 1
  ${EndIf}

  ${GetParameters} $R9
  StrCpy $0 "/AllUsers"
  Call ReadModeSwitch
  StrCpy $R0 $1
  StrCpy $0 "/CurrentUser"
  Call ReadModeSwitch
  StrCpy $R1 $1
  StrCpy $0 "/FULLRANGE="
  Call ReadFlagSwitch
  StrCpy $FullRangeSwitch $1
  StrCpy $0 "/STARTATSIGNIN="
  Call ReadFlagSwitch
  StrCpy $StartSwitch $1
  ${If} $R0 == 1
  ${AndIf} $R1 == 1
    StrCpy $0 "$(CHOOSE_ONE_MODE)"
    Call Refuse
  ${EndIf}
  ${If} $R1 == 1
  ${AndIf} $FullRangeSwitch == "1"
    StrCpy $0 "$(FULL_RANGE_NEEDS_ALL_USERS)"
    Call Refuse
  ${EndIf}
  ${If} $StartSwitch == "1"
    !insertmacro SelectSection ${START_SECTION}
  ${EndIf}

  StrCpy $ModeNamed 1
  ${If} $R0 == 1
    StrCpy $0 "all"
  ${ElseIf} $R1 == 1
    StrCpy $0 "user"
  ${Else}
    StrCpy $ModeNamed 0
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} ${Silent}
      ; As before there was a choice, so that existing scripts keep working.
      StrCpy $0 "all"
    ${ElseIf} $1 != ""
      ; The wizard offers to upgrade the copy already installed.
      StrCpy $0 "user"
    ${ElseIf} $IsAdmin == 1
      StrCpy $0 "all"
    ${Else}
      StrCpy $0 "user"
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
  ${OrIf} $ModeNamed == 1
    Call ModeRefusal
    ${If} $1 != ""
      StrCpy $0 $1
      Call Refuse
    ${EndIf}
  ${EndIf}
  Call SetMode
FunctionEnd

; Asks for which users to install, unless the command line said. Non-administrators see "only
; for me" first, as the one they can choose.
Function ModePageShow
  ${If} $ModeNamed == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(MODE_TITLE)" "$(MODE_SUBTITLE)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 30u "$(MODE_TEXT)"
  Pop $0
  ${If} $IsAdmin == 1
    ${NSD_CreateRadioButton} 10u 40u -10u 12u "$(ALL_USERS)"
    Pop $AllUsersButton
    ${NSD_CreateRadioButton} 10u 58u -10u 12u "$(ONLY_ME)"
    Pop $1
  ${Else}
    ${NSD_CreateRadioButton} 10u 40u -10u 12u "$(ONLY_ME)"
    Pop $1
    ${NSD_CreateRadioButton} 10u 58u -10u 12u "$(ALL_USERS)"
    Pop $AllUsersButton
  ${EndIf}
  ${If} $Mode == "all"
    ${NSD_Check} $AllUsersButton
  ${Else}
    ${NSD_Check} $1
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $AllUsersButton $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $0 "all"
  ${Else}
    StrCpy $0 "user"
  ${EndIf}
  Call ModeRefusal
  ${If} $1 != ""
    MessageBox MB_OK|MB_ICONSTOP $1
    Abort
  ${EndIf}
  ${If} $FolderNamed != 1
    StrCpy $INSTDIR ""
  ${EndIf}
  Call SetMode
FunctionEnd

; The uninstaller's mode is the one whose entry names its folder.
Function un.onInit
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    StrCpy $Mode "user"
    SetShellVarContext current
  ${Else}
    StrCpy $Mode "all"
    SetShellVarContext all
  ${EndIf}
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallerLanguage"
  ${If} $0 != ""
    StrCpy $LANGUAGE $0
  ${EndIf}
  ${GetParameters} $R9
  ClearErrors
  ${GetOptions} $R9 "/UPGRADE" $0
  StrCpy $Upgrade 1
  ${If} ${Errors}
    StrCpy $Upgrade 0
  ${EndIf}
FunctionEnd

; Removes what the installer wrote and nothing else: files the user added keep their folder.
Section "Uninstall"
  StrCpy $0 $INSTDIR
  Call un.CloseIfRunning
  ; The screen gets its normal ramp back, as nothing will keep the app's: every display, the
  ; whole screen, and Windows' own calibration where it has one. An upgrade keeps the ramp.
  ${If} $Upgrade == 0
    Call un.ExtractHelper
    ExecWait '"$PLUGINSDIR\setup_helper.exe" identity' $0
    ${If} $0 == 0
      DetailPrint "$(SCREEN_RESET)"
    ${Else}
      DetailPrint "$(SCREEN_NOT_RESET)"
    ${EndIf}
  ${EndIf}
  ClearErrors
  !insertmacro VESKARO_UNINSTALL_FILES
  ${If} ${Errors}
    ; The entry and the uninstaller stay, so that the user can try again.
    SetErrorLevel 2
    Return
  ${EndIf}
  ; The gamma range goes back to what the install found, but only while it still holds what the
  ; install wrote: a value changed since belongs to someone else. An install for one user has
  ; no record and never wrote it.
  ClearErrors
  ReadRegDWORD $1 SHCTX "${UNINSTALL_KEY}" "${GAMMA_RANGE}Written"
  ReadRegStr $2 SHCTX "${UNINSTALL_KEY}" "${GAMMA_RANGE}Before"
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
  SetRegView default
  ; Only the value this copy wrote: another command under the name is someone else's.
  ReadRegStr $1 SHCTX "${RUN_KEY}" "${APP}"
  ${If} $1 == '${RUN_COMMAND}'
    DeleteRegValue SHCTX "${RUN_KEY}" "${APP}"
  ${EndIf}
  !insertmacro VESKARO_UNINSTALL_FOLDERS
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; A profile may have had no Uninstall key before this copy's entry.
  ${If} $Mode == "user"
    DeleteRegKey /ifempty HKCU "${UNINSTALL_PARENT}"
  ${EndIf}
SectionEnd
