; SPDX-License-Identifier: MIT
; The Windows programs' installer: tcr7750.dll, horalign.exe, probedesk.exe
; and the Windows Time provider tcr7750tp.dll under Program Files, the clock
; keeper's Interval setting, Start-menu entries, an uninstaller, and who
; keeps the PC's clock on the board: either a logon task that starts the
; clock keeper with the rights it asks for (the default), or the Windows
; Time service with the provider (/KEEPER=w32time on the command line;
; /KEEPER=none for neither).  Never both: choosing one removes the other.
; A running clock keeper is closed first, at installation and at
; uninstallation.  Built by scripts/build-installers.sh:
;   makensis -DARCH=x86|x64 -DBUILD=<cmake build folder> -DINTERVAL=<seconds>
;            -DVERSION=<version> -DOUTFILE=<setup.exe> installer/tcr7750.nsi
; Each build installs where its programs belong and writes the registry view
; they read: the 32-bit build under the 32-bit Program Files and view (on
; 64-bit Windows "Program Files (x86)" and WOW6432Node), the 64-bit build
; under the 64-bit ones.
Unicode true
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh
!include x64.nsh

!if ${ARCH} == x64
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
  !define REGISTRY_VIEW 64
!else if ${ARCH} == x86
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES"
  !define REGISTRY_VIEW 32
!else
  !error "ARCH must be x86 or x64"
!endif

!define PARAMS_KEY "SOFTWARE\Corvane\TCR7750\Params"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TCR7750"
!define MENU_FOLDER "$SMPROGRAMS\TCR7750"
!define HORALIGN_CAPTION "TCR7750 - IRIG B Time code reader"
!define LOGON_TASK "TCR7750 horalign"
; The Windows Time service's keys (not redirected for 32-bit programs), and
; where its settings from before the provider are kept for the uninstaller.
!define W32TIME_KEY "SYSTEM\CurrentControlSet\Services\W32Time"
!define PROVIDER_KEY "${W32TIME_KEY}\TimeProviders\TCR7750"
!define NTPCLIENT_KEY "${W32TIME_KEY}\TimeProviders\NtpClient"
!define SAVED_W32TIME_KEY "SOFTWARE\Corvane\TCR7750\W32Time"

Var TimeServiceChanged ; 1: the Windows Time service is restarted at the end

Name "TCR7750 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\TCR7750"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "TCR7750"
VIAddVersionKey "CompanyName" "Corvane"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 TCR7750 maintainers"
VIAddVersionKey "FileDescription" "TCR7750 setup"
VIAddVersionKey "FileVersion" "${VERSION}.0.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0.0"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  InitPluginsDir
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
  Call ChooseKeeper
FunctionEnd

Function un.onInit
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
FunctionEnd

; The clock keeper reads Interval and uses its own default without it.  A
; value that is there, of whatever type, is the user's and stays.
Function WriteIntervalUnlessPresent
  StrCpy $0 0
  ${Do}
    EnumRegValue $1 HKLM "${PARAMS_KEY}" $0
    ${If} $1 == ""
      WriteRegDWORD HKLM "${PARAMS_KEY}" "Interval" ${INTERVAL}
      Return
    ${EndIf}
    ${If} $1 == "Interval"
      Return
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
FunctionEnd

; A running clock keeper holds its files and the board: its window's close
; ends it as its Exit does (worker stopped, board closed, icon removed).
!macro CLOSE_HORALIGN un
Function ${un}CloseHoralign
  FindWindow $0 "" "${HORALIGN_CAPTION}"
  ${If} $0 == 0
    Return
  ${EndIf}
  DetailPrint "Closing horalign"
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $1 0
  ${Do}
    Sleep 200
    FindWindow $0 "" "${HORALIGN_CAPTION}"
    IntOp $1 $1 + 1
    ${If} $0 == 0
    ${OrIf} $1 >= 50
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_HORALIGN ""
!insertmacro CLOSE_HORALIGN "un."

; The Windows Time service loads its providers when it starts.  Where it
; does not run (or does not exist, as under Wine) the commands fail and
; the registry is all that changes.
!macro TIME_SERVICE un
Function ${un}RestartTimeService
  nsExec::ExecToLog 'net stop w32time'
  Pop $0
  nsExec::ExecToLog 'net start w32time'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The Windows Time service did not start ($0)"
  ${EndIf}
FunctionEnd

; Gives the service back the settings it had before the provider.
Function ${un}UnregisterTimeProvider
  ReadRegDWORD $0 HKLM "${SAVED_W32TIME_KEY}" "Saved"
  ${If} $0 != 1
    Return
  ${EndIf}
  DeleteRegKey HKLM "${PROVIDER_KEY}"
  ClearErrors
  ReadRegDWORD $1 HKLM "${SAVED_W32TIME_KEY}" "NtpClientEnabled"
  ${If} ${Errors}
    DeleteRegValue HKLM "${NTPCLIENT_KEY}" "Enabled"
  ${Else}
    WriteRegDWORD HKLM "${NTPCLIENT_KEY}" "Enabled" $1
  ${EndIf}
  ClearErrors
  ReadRegDWORD $1 HKLM "${SAVED_W32TIME_KEY}" "Start"
  ${If} ${Errors}
    DeleteRegValue HKLM "${W32TIME_KEY}" "Start"
  ${Else}
    WriteRegDWORD HKLM "${W32TIME_KEY}" "Start" $1
  ${EndIf}
  DeleteRegKey HKLM "${SAVED_W32TIME_KEY}"
  StrCpy $TimeServiceChanged 1
FunctionEnd
!macroend
!insertmacro TIME_SERVICE ""
!insertmacro TIME_SERVICE "un."

; The provider registered and enabled, the service's network client
; disabled (it would pull the clock towards another source) and the service
; started with Windows.  The settings it replaces are kept first, once.
Function RegisterTimeProvider
  ReadRegDWORD $0 HKLM "${SAVED_W32TIME_KEY}" "Saved"
  ${If} $0 != 1
    ClearErrors
    ReadRegDWORD $1 HKLM "${NTPCLIENT_KEY}" "Enabled"
    ${IfNot} ${Errors}
      WriteRegDWORD HKLM "${SAVED_W32TIME_KEY}" "NtpClientEnabled" $1
    ${EndIf}
    ClearErrors
    ReadRegDWORD $1 HKLM "${W32TIME_KEY}" "Start"
    ${IfNot} ${Errors}
      WriteRegDWORD HKLM "${SAVED_W32TIME_KEY}" "Start" $1
    ${EndIf}
    WriteRegDWORD HKLM "${SAVED_W32TIME_KEY}" "Saved" 1
  ${EndIf}
  WriteRegStr HKLM "${PROVIDER_KEY}" "DllName" "$INSTDIR\tcr7750tp.dll"
  WriteRegDWORD HKLM "${PROVIDER_KEY}" "Enabled" 1
  WriteRegDWORD HKLM "${PROVIDER_KEY}" "InputProvider" 1
  WriteRegDWORD HKLM "${NTPCLIENT_KEY}" "Enabled" 0
  WriteRegDWORD HKLM "${W32TIME_KEY}" "Start" 2
  StrCpy $TimeServiceChanged 1
FunctionEnd

Section "Programs" SecPrograms
  SectionIn RO
  Call CloseHoralign
  ; The service holds the provider it loaded.
  ReadRegStr $0 HKLM "${PROVIDER_KEY}" "DllName"
  ${If} $0 != ""
    nsExec::ExecToLog 'net stop w32time'
    Pop $0
    StrCpy $TimeServiceChanged 1
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${BUILD}/boardlib/tcr7750.dll"
  File "${BUILD}/timeprovider/tcr7750tp.dll"
  File "${BUILD}/clockkeeper/horalign.exe"
  File "${BUILD}/testbench/probedesk.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  Call WriteIntervalUnlessPresent

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\horalign.lnk" "$INSTDIR\horalign.exe" "" "" 0 SW_SHOWNORMAL "" \
    "TCR7750 clock keeper"
  CreateShortcut "${MENU_FOLDER}\probedesk.lnk" "$INSTDIR\probedesk.exe" "" "" 0 SW_SHOWNORMAL "" \
    "TCR7750 test bench"
  CreateShortcut "${MENU_FOLDER}\Uninstall TCR7750.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TCR7750"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Setting the clock needs an elevated administrator's process: a task of
; the Task Scheduler starts horalign at each administrator's logon with the
; highest rights, without the elevation prompt its manifest would bring.
Section "Start horalign at logon" SecLogonTask
  Call UnregisterTimeProvider
  FileOpen $0 "$PLUGINSDIR\logon-task.xml" w
  FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $0 '  <RegistrationInfo><Description>TCR7750 clock keeper: sets the system clock from the board</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $0 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $0 '  <Principals><Principal id="Administrators"><GroupId>S-1-5-32-544</GroupId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $0 '  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT0S</ExecutionTimeLimit></Settings>$\r$\n'
  FileWriteUTF16LE $0 '  <Actions Context="Administrators"><Exec><Command>"$INSTDIR\horalign.exe"</Command><WorkingDirectory>$INSTDIR</WorkingDirectory></Exec></Actions>$\r$\n'
  FileWriteUTF16LE $0 '</Task>$\r$\n'
  FileClose $0
  nsExec::ExecToLog 'schtasks /Create /TN "${LOGON_TASK}" /XML "$PLUGINSDIR\logon-task.xml" /F'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The logon task could not be created ($0)"
  ${EndIf}
SectionEnd

; W32Time keeps the clock: it slews it by the board's samples with its own
; limits and runs with the right to set it.  The service loads the
; provider of its own architecture: not this 32-bit one on 64-bit Windows.
Section /o "Windows Time keeps the clock on the board" SecTimeProvider
  Call RegisterTimeProvider
  nsExec::ExecToLog 'schtasks /Delete /TN "${LOGON_TASK}" /F'
  Pop $0
SectionEnd

Section "-restart the Windows Time service"
  ${If} $TimeServiceChanged == 1
    Call RestartTimeService
  ${EndIf}
SectionEnd

; One keeper at a time: the one just chosen unselects the other.
Function .onSelChange
  ${If} ${SectionIsSelected} ${SecLogonTask}
  ${AndIf} ${SectionIsSelected} ${SecTimeProvider}
    ${If} $0 == ${SecTimeProvider}
      !insertmacro UnselectSection ${SecLogonTask}
    ${Else}
      !insertmacro UnselectSection ${SecTimeProvider}
    ${EndIf}
  ${EndIf}
FunctionEnd

; /KEEPER=w32time, /KEEPER=horalign (the default) or /KEEPER=none.
Function ChooseKeeper
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/KEEPER=" $1
  ${If} $1 == "w32time"
    !insertmacro UnselectSection ${SecLogonTask}
    !insertmacro SelectSection ${SecTimeProvider}
  ${ElseIf} $1 == "none"
    !insertmacro UnselectSection ${SecLogonTask}
  ${EndIf}
!if ${ARCH} == x86
  ${If} ${RunningX64}
    !insertmacro UnselectSection ${SecTimeProvider}
    !insertmacro SetSectionFlag ${SecTimeProvider} ${SF_RO}
  ${EndIf}
!endif
FunctionEnd

; Removes what the installer put in place and gives the Windows Time
; service its settings back; Interval, the user's setting, stays, and so
; does a folder that holds files of the user's.
Section Uninstall
  Call un.CloseHoralign
  nsExec::ExecToLog 'schtasks /Delete /TN "${LOGON_TASK}" /F'
  Pop $0
  Call un.UnregisterTimeProvider
  ${If} $TimeServiceChanged == 1
    Call un.RestartTimeService
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\tcr7750tp.dll"
  Delete "$INSTDIR\tcr7750.dll"
  Delete "$INSTDIR\horalign.exe"
  Delete "$INSTDIR\probedesk.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\horalign.lnk"
  Delete "${MENU_FOLDER}\probedesk.lnk"
  Delete "${MENU_FOLDER}\Uninstall TCR7750.lnk"
  RMDir "${MENU_FOLDER}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
