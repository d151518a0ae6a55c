; Kestrune-setup.exe: installs the agent for the current user, writes the
; database server's address (and, when given, the FTP host) into the agent's
; settings key and starts the agent at every log-on (the user's Run key).
; Built by CMake (target `installer`, needs makensis from Debian's nsis):
;   makensis -DVERSION=0.1.0 -DAGENT_EXE=Kestrune.exe -DICON=kestrune.ico \
;            -DOUTFILE=Kestrune-setup.exe kestrune.nsi
;
; Interactive: folder, settings page (database server, FTP host), files,
; "start now". Silent, e.g. for a remote roll-out:
;   Kestrune-setup.exe /S /IPNO=192.168.1.20 [/FTPHOST=host[:port]] [/START] [/D=folder]
; A silent install without /IPNO keeps the value already stored and fails
; (exit code 2) when there is none; a value the agent could not read (empty,
; 40 characters or more) fails the same way. An agent that runs is closed
; before its file is replaced and started again afterwards.
; Uninstall: Uninstall.exe [/S]; the settings key stays (other programs of the
; point of sale read it too).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define SETTINGS_KEY "SOFTWARE\Ostrelian\Melrova\Server"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrune"
; What the agent reads: "ipno" into 40 bytes with its terminator, "ftphost" into 512.
!define IPNO_MAX 39
!define FTPHOST_MAX 511

Name "Kestrune"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kestrune"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "Kestrune ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Kestrune"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Kestrune setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Kestrune"

Var Ipno
Var FtpHost
Var IpnoField
Var FtpField
Var AgentWasRunning

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPage SettingsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kestrune.exe"
!define MUI_FINISHPAGE_RUN_TEXT "$(StartNow)"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Turkish"
!insertmacro MUI_LANGUAGE "English"

LangString SettingsTitle ${LANG_TURKISH} "Sunucu ayarları"
LangString SettingsTitle ${LANG_ENGLISH} "Server settings"
LangString SettingsText ${LANG_TURKISH} "Kestrune satış verilerini satış noktasının veritabanı sunucusundan okur."
LangString SettingsText ${LANG_ENGLISH} "Kestrune reads the sales of the point-of-sale database server."
LangString IpnoLabel ${LANG_TURKISH} "Veritabanı sunucusunun adresi (ipno):"
LangString IpnoLabel ${LANG_ENGLISH} "Address of the database server (ipno):"
LangString FtpLabel ${LANG_TURKISH} "FTP sunucusu (host veya host:port; boş bırakılırsa varsayılan):"
LangString FtpLabel ${LANG_ENGLISH} "FTP server (host or host:port; empty for the default):"
LangString IpnoMissing ${LANG_TURKISH} "Veritabanı sunucusunun adresini girin."
LangString IpnoMissing ${LANG_ENGLISH} "Enter the address of the database server."
LangString IpnoTooLong ${LANG_TURKISH} "Veritabanı sunucusunun adresi en çok ${IPNO_MAX} karakter olabilir."
LangString IpnoTooLong ${LANG_ENGLISH} "The address of the database server may have at most ${IPNO_MAX} characters."
LangString FtpTooLong ${LANG_TURKISH} "FTP sunucusu en çok ${FTPHOST_MAX} karakter olabilir."
LangString FtpTooLong ${LANG_ENGLISH} "The FTP server may have at most ${FTPHOST_MAX} characters."
LangString StartNow ${LANG_TURKISH} "Kestrune'u şimdi başlat"
LangString StartNow ${LANG_ENGLISH} "Start Kestrune now"

; The running agent, if any, is asked to end (it has no menu item for that:
; its window takes WM_CLOSE) and given up to 30 s to do so.
!macro CLOSE_AGENT un
Function ${un}CloseAgent
  StrCpy $AgentWasRunning 0
  FindWindow $0 "KESTRUNE" "Kestrune"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $AgentWasRunning 1
  DetailPrint "Kestrune is running: closing it"
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $1 0
  ${Do}
    Sleep 200
    IntOp $1 $1 + 1
    FindWindow $0 "KESTRUNE" "Kestrune"
    ${If} $0 = 0
    ${OrIf} $1 >= 150
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ; The process ends a moment after its window (the scheduler finishes its tick).
  Sleep 1500
FunctionEnd
!macroend
!insertmacro CLOSE_AGENT ""
!insertmacro CLOSE_AGENT "un."

; Leaves "" on the stack when $Ipno and $FtpHost can be stored, else the message.
Function CheckSettings
  StrLen $0 $Ipno
  ${If} $0 = 0
    Push "$(IpnoMissing)"
    Return
  ${EndIf}
  ${If} $0 > ${IPNO_MAX}
    Push "$(IpnoTooLong)"
    Return
  ${EndIf}
  StrLen $0 $FtpHost
  ${If} $0 > ${FTPHOST_MAX}
    Push "$(FtpTooLong)"
    Return
  ${EndIf}
  Push ""
FunctionEnd

Function .onInit
  ; The stored values are the defaults; the command line overrides them.
  ReadRegStr $Ipno HKCU "${SETTINGS_KEY}" "ipno"
  ReadRegStr $FtpHost HKCU "${SETTINGS_KEY}" "ftphost"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/IPNO=" $R1
  ${IfNot} ${Errors}
    StrCpy $Ipno $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/FTPHOST=" $R1
  ${IfNot} ${Errors}
    StrCpy $FtpHost $R1
  ${EndIf}
  ${If} ${Silent}
    Call CheckSettings
    Pop $R1
    ${If} $R1 != ""
      ; Nobody sees a box in a silent install: the exit code tells.
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SettingsPage
  !insertmacro MUI_HEADER_TEXT "$(SettingsTitle)" "$(SettingsText)"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 12u "$(IpnoLabel)"
  Pop $0
  ${NSD_CreateText} 0 14u 100% 12u "$Ipno"
  Pop $IpnoField
  ${NSD_SetTextLimit} $IpnoField ${IPNO_MAX}
  ${NSD_CreateLabel} 0 40u 100% 12u "$(FtpLabel)"
  Pop $0
  ${NSD_CreateText} 0 54u 100% 12u "$FtpHost"
  Pop $FtpField
  ${NSD_SetTextLimit} $FtpField ${FTPHOST_MAX}
  ${NSD_SetFocus} $IpnoField
  nsDialogs::Show
FunctionEnd

Function SettingsPageLeave
  ${NSD_GetText} $IpnoField $Ipno
  ${NSD_GetText} $FtpField $FtpHost
  Call CheckSettings
  Pop $0
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
    Abort  ; stays on the page
  ${EndIf}
FunctionEnd

Section "Kestrune"
  Call CloseAgent
  SetOutPath "$INSTDIR"
  ; A copy that did not end in time still holds its file; a running program
  ; can be renamed, and the old file goes at the next restart.
  ${If} ${FileExists} "$INSTDIR\Kestrune.exe"
    ClearErrors
    Delete "$INSTDIR\Kestrune.exe"
    ${If} ${Errors}
      Delete "$INSTDIR\Kestrune.exe.old"
      Rename "$INSTDIR\Kestrune.exe" "$INSTDIR\Kestrune.exe.old"
      Delete /REBOOTOK "$INSTDIR\Kestrune.exe.old"
    ${EndIf}
  ${EndIf}
  File "/oname=Kestrune.exe" "${AGENT_EXE}"

  WriteRegStr HKCU "${SETTINGS_KEY}" "ipno" "$Ipno"
  ${If} $FtpHost != ""
    WriteRegStr HKCU "${SETTINGS_KEY}" "ftphost" "$FtpHost"
  ${Else}
    DeleteRegValue HKCU "${SETTINGS_KEY}" "ftphost"
  ${EndIf}
  WriteRegStr HKCU "${RUN_KEY}" "Kestrune" '"$INSTDIR\Kestrune.exe"'

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kestrune"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kestrune.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; A silent update starts the agent it closed, or any agent with /START; an
  ; interactive one leaves that to the finish page.
  ${If} ${Silent}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/START" $R1
    ${If} $AgentWasRunning = 1
    ${OrIfNot} ${Errors}
      Exec '"$INSTDIR\Kestrune.exe"'
    ${EndIf}
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.CloseAgent
  Delete "$INSTDIR\Kestrune.exe"
  Delete "$INSTDIR\Kestrune.exe.old"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegValue HKCU "${RUN_KEY}" "Kestrune"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
