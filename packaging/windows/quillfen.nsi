; The Windows installer: quillfen.exe (the window program), quillfen.com (the
; same program for the console) and the pointer files, for the current user
; (the default for a user who is not an administrator) or for all users; a
; Start-menu entry; the install folder on the PATH (the user's or all users'),
; so that "quillfen" in cmd.exe and PowerShell is quillfen.com; the uninstaller,
; listed among the system's programs.
;
;   makensis -DVERSION=1.0.0 -DPROGRAM_DIR=<folder of quillfen.exe> -DOUTFILE=<setup.exe> quillfen.nsi
;
; Silent: setup.exe /S [/CurrentUser | /AllUsers] [/D=<folder>]
;         uninstall.exe /S [/RemoveSettings]
; The uninstaller removes every file it installed, its registry entries and its
; folder from the PATH; the
; user's workbooks stay, and so do the remembered settings unless the user
; asks (or /RemoveSettings) to remove it.
; A 64-bit installer for the 64-bit program (and so that Wine runs it without
; its 32-bit part).
Target amd64-unicode
SetCompressor /SOLID lzma
SetCompressorDictSize 64
RequestExecutionLevel user

!define PRODUCT "Quillfen"
!define MAKER "Tarnwick"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\${MAKER}\${PRODUCT}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
; The uninstaller started without /CurrentUser or /AllUsers finds the mode the
; program was installed in from where its entry is.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include StrFunc.nsh
!include WinMessages.nsh
${UnStrRep}

Name "${PRODUCT}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${MAKER}"
!define MUI_ICON "${PROGRAM_DIR}\quillfen.ico"
!define MUI_UNICON "${PROGRAM_DIR}\quillfen.ico"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillfen.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The files, one list for the install and the uninstall.
!macro ProgramFiles DO
  !insertmacro ${DO} quillfen.exe
  !insertmacro ${DO} quillfen.com
  !insertmacro ${DO} HAND-M.CUR
  !insertmacro ${DO} drag.ico
!macroend
!macro Install NAME
  File "${PROGRAM_DIR}\${NAME}"
!macroend
!macro Remove NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Var removeSettings
Var environment  ; the key of the PATH the install mode changes

; The PATH of the install mode in $0; the error flag set where it cannot be
; changed safely: a PATH too long for the installer's strings (which would cut
; it) or of another type than a string.
!macro ReadPath UN
Function ${UN}ReadPath
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $environment "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
  ${Else}
    StrCpy $environment "Environment"
  ${EndIf}
  ; A PATH that is not there yet is an empty one.
  StrCpy $0 ""
  StrCpy $1 0
  ${Do}
    EnumRegValue $2 SHCTX $environment $1
    ${If} $2 == ""
      ClearErrors
      Return
    ${EndIf}
    IntOp $1 $1 + 1
  ${LoopUntil} $2 == "Path"
  ClearErrors
  ReadRegStr $0 SHCTX $environment "Path"
  ; Room for the install folder, too.
  StrLen $1 "$0;$INSTDIR"
  IntOp $2 ${NSIS_MAX_STRLEN} - 1
  ${If} $1 >= $2
    SetErrors
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ReadPath ""
!insertmacro ReadPath "un."

; Tells the running programs (Explorer, and the consoles it starts) of the change.
!macro PathChanged
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/RemoveSettings" $R1
  ${IfNot} ${Errors}
    StrCpy $removeSettings 1
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  !insertmacro ProgramFiles Install
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quillfen.exe" "" "$INSTDIR\quillfen.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillfen.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  Call ReadPath
  ${IfNot} ${Errors}
    ${If} $0 == ""
      WriteRegExpandStr SHCTX $environment "Path" "$INSTDIR"
    ${Else}
      WriteRegExpandStr SHCTX $environment "Path" "$0;$INSTDIR"
    ${EndIf}
    !insertmacro PathChanged
  ${EndIf}
SectionEnd

Section "Uninstall"
  !insertmacro ProgramFiles Remove
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  Call un.ReadPath
  ${IfNot} ${Errors}
    ; The folder where the install put it: at the end, or alone.
    ${If} $0 == "$INSTDIR"
      DeleteRegValue SHCTX $environment "Path"
    ${Else}
      ${UnStrRep} $1 "$0;" "$INSTDIR;" ""
      StrCpy $1 $1 -1
      ${If} $1 != $0
        WriteRegExpandStr SHCTX $environment "Path" $1
      ${EndIf}
    ${EndIf}
    !insertmacro PathChanged
  ${EndIf}
  ; The remembered settings are the user's: kept unless asked.
  ${If} $removeSettings != 1
    MessageBox MB_YESNO|MB_DEFBUTTON2|MB_ICONQUESTION \
      "Also remove the settings ${PRODUCT} remembers for you (the sheet mode, the locale)?" /SD IDNO IDNO keep
    StrCpy $removeSettings 1
    keep:
  ${EndIf}
  ${If} $removeSettings == 1
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\VB and VBA Program Settings\${MAKER}"
  ${EndIf}
SectionEnd
