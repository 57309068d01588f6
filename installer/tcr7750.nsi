; SPDX-License-Identifier: MIT
; The Windows programs' installer: tcr7750.dll, horalign.exe and probedesk.exe
; under Program Files, the clock keeper's Interval setting, Start-menu
; entries and an uninstaller.  Built by scripts/build-installers.sh:
;   makensis -DARCH=x86|x64 -DBUILD=<cmake build folder> -DINTERVAL=<seconds>
;            -DVERSION=<version> -DOUTFILE=<setup.exe> installer/tcr7750.nsi
; Each build installs where its programs belong and writes the registry view
; they read: the 32-bit build under the 32-bit Program Files and view (on
; 64-bit Windows "Program Files (x86)" and WOW6432Node), the 64-bit build
; under the 64-bit ones.
Unicode true
!include LogicLib.nsh

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

Name "TCR7750 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\TCR7750"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "TCR7750"
VIAddVersionKey "CompanyName" "Corvane"
VIAddVersionKey "LegalCopyright" "2026 TCR7750 maintainers"
VIAddVersionKey "FileDescription" "TCR7750 setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
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

Section
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

; Removes what the installer put in place; Interval, the user's setting,
; stays, and so does a folder that holds files of the user's.
Section Uninstall
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
