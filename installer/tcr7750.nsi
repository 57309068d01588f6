; SPDX-License-Identifier: MIT
; The Windows programs' installer: tcr7750.dll, horalign.exe and probedesk.exe
; under Program Files, the clock keeper's Interval setting, Start-menu
; entries, an uninstaller and, if chosen, a logon task that starts the clock
; keeper with the rights it asks for (it sets the system clock).  A running
; clock keeper is closed first, at installation and at uninstallation.  Built by scripts/build-installers.sh:
;   makensis -DARCH=x86|x64 -DBUILD=<cmake build folder> -DINTERVAL=<seconds>
;            -DVERSION=<version> -DOUTFILE=<setup.exe> installer/tcr7750.nsi
; Each build installs where its programs belong and writes the registry view
; they read: the 32-bit build under the 32-bit Program Files and view (on
; 64-bit Windows "Program Files (x86)" and WOW6432Node), the 64-bit build
; under the 64-bit ones.
Unicode true
!include LogicLib.nsh
!include WinMessages.nsh

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

Section "Programs" SecPrograms
  SectionIn RO
  Call CloseHoralign
  SetOutPath "$INSTDIR"
  File "${BUILD}/boardlib/tcr7750.dll"
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

; Removes what the installer put in place; Interval, the user's setting,
; stays, and so does a folder that holds files of the user's.
Section Uninstall
  Call un.CloseHoralign
  nsExec::ExecToLog 'schtasks /Delete /TN "${LOGON_TASK}" /F'
  Pop $0
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
