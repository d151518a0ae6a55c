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
; 40 characters or more) fails the same way. Run as the local system account
; it installs nothing (exit code 3): the agent belongs to the cashier's own
; session. An agent that runs is closed, and its process waited for, before
; its file is replaced; it is started again afterwards, never elevated. When
; it does not end within 30 s the installer says so, the new file is put in
; place beside it and starts at the next log-on (exit code 4 when silent).
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
; How long a running agent is given to end (it ends within a few seconds,
; even in the middle of a run).
!define AGENT_END_MS 30000
!define SYNCHRONIZE 0x00100000
!define TOKEN_QUERY 8
!define TOKEN_USER_CLASS 1
!define TOKEN_ELEVATION_CLASS 20
!define WIN_LOCAL_SYSTEM_SID 22

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
Var AgentStayed

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPage SettingsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartAgent
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
LangString NotAsSystem ${LANG_TURKISH} "Kestrune kasiyerin kendi kullanıcı hesabıyla kurulmalıdır, SYSTEM hesabıyla değil: program o kullanıcının oturumunda çalışır."
LangString NotAsSystem ${LANG_ENGLISH} "Install Kestrune as the cashier's own user, not as SYSTEM: the agent runs in that user's session."
LangString AgentStayed ${LANG_TURKISH} "Kestrune 30 saniye içinde kapanmadı. Yeni sürüm bir sonraki oturum açılışında başlayacak."
LangString AgentStayed ${LANG_ENGLISH} "Kestrune did not end within 30 seconds. The new version will start at the next log-on."
LangString un.AgentStayed ${LANG_TURKISH} "Kestrune 30 saniye içinde kapanmadı. Program dosyası silinemedi; oturum açılışında artık başlamayacak."
LangString un.AgentStayed ${LANG_ENGLISH} "Kestrune did not end within 30 seconds. Its program file could not be removed; it no longer starts at log-on."

; The running agent, if any, is asked to end (it has no menu item for that:
; its window takes WM_CLOSE) and its process, not only its window, is given
; up to 30 s to end: a run held in a slow read keeps the process a few
; seconds after its window, and a file still in use cannot be replaced (a
; copy started meanwhile would find the old one and leave as a second copy).
; $AgentStayed is 1 when it did not end in time.
!macro CLOSE_AGENT un
Function ${un}CloseAgent
  StrCpy $AgentWasRunning 0
  StrCpy $AgentStayed 0
  FindWindow $0 "KESTRUNE" "Kestrune"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $AgentWasRunning 1
  DetailPrint "Kestrune is running: closing it"
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  ${If} $2 != 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${AGENT_END_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; A process that cannot be opened: its window is all there is to watch.
    StrCpy $3 1
    StrCpy $1 0
    ${Do}
      Sleep 200
      IntOp $1 $1 + 200
      FindWindow $0 "KESTRUNE" "Kestrune"
      ${If} $0 = 0
        StrCpy $3 0
        ${ExitDo}
      ${EndIf}
    ${LoopUntil} $1 >= ${AGENT_END_MS}
  ${EndIf}
  ${If} $3 != 0
    StrCpy $AgentStayed 1
    DetailPrint "$(${un}AgentStayed)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(${un}AgentStayed)" /SD IDOK
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_AGENT ""
!insertmacro CLOSE_AGENT "un."

; Pushes 1 when this installer runs as the local system account, else 0.
Function IsLocalSystem
  StrCpy $2 0
  System::Call 'kernel32::GetCurrentProcess() p .r9'
  System::Call 'advapi32::OpenProcessToken(p r9, i ${TOKEN_QUERY}, *p .r0) i .r1'
  ${If} $1 <> 0
    System::Alloc 256
    Pop $3
    System::Call 'advapi32::GetTokenInformation(p r0, i ${TOKEN_USER_CLASS}, p r3, i 256, *i .r4) i .r1'
    ${If} $1 <> 0
      System::Call '*$3(p .r5)'  ; TOKEN_USER: the user's SID comes first
      System::Call 'advapi32::IsWellKnownSid(p r5, i ${WIN_LOCAL_SYSTEM_SID}) i .r2'
    ${EndIf}
    System::Free $3
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  ${If} $2 <> 0
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd

; Pushes 1 when this installer runs elevated (as administrator), else 0.
Function IsElevated
  StrCpy $2 0
  System::Call 'kernel32::GetCurrentProcess() p .r9'
  System::Call 'advapi32::OpenProcessToken(p r9, i ${TOKEN_QUERY}, *p .r0) i .r1'
  ${If} $1 <> 0
    System::Call 'advapi32::GetTokenInformation(p r0, i ${TOKEN_ELEVATION_CLASS}, *i .r2, i 4, *i .r4) i .r1'
    ${If} $1 = 0
      StrCpy $2 0
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  ${If} $2 <> 0
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd

; Starts the installed agent as the user, never elevated: the agent would
; otherwise run with administrator rights for the rest of the session, and
; the shell could not reach its tray icon. An installer run as administrator
; hands the start to the user's shell: explorer.exe given a program starts it
; in the running Explorer, at the user's own level.
Function StartAgent
  ${If} $AgentStayed = 1
    Return  ; it would find the old copy and leave; it starts at the next log-on
  ${EndIf}
  Call IsElevated
  Pop $0
  ${If} $0 = 1
    DetailPrint "Starting Kestrune through the user's shell"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Kestrune.exe"'
  ${Else}
    Exec '"$INSTDIR\Kestrune.exe"'
  ${EndIf}
FunctionEnd

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
  ; As SYSTEM (a remote roll-out's service) the settings and the Run value
  ; would go to the system's own registry, and an agent in session 0 would
  ; show its boxes to nobody.
  Call IsLocalSystem
  Pop $0
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONSTOP "$(NotAsSystem)" /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
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
  ; can be renamed, and the old file goes at the next restart. The new one
  ; starts at the next log-on.
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
      Call StartAgent
    ${EndIf}
  ${EndIf}
  ${If} $AgentStayed = 1
    SetErrorLevel 4
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
