; The installer for 64-bit Windows: boska.exe and boska-render.exe in the
; programs folder, the screensaver boska.scr in the system folder where the
; screensaver settings look for it, a Start-menu entry, and an uninstaller
; in the list of installed programs that takes all of it away again. The
; installer is a 64-bit program itself, so its system folder is the 64-bit
; one: no file-system redirection stands between it and System32.
;
; The build defines VERSION ("1.00"), NUMBERS ("1.0.0.0"), PROGRAMS (the
; folder of the built programs), RESOURCES (this folder) and OUTFILE.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include FileFunc.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Boska"

Name "Boska"
Caption "Boska ${VERSION} Setup"
BrandingText "Boska ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Boska"
RequestExecutionLevel admin

!define MUI_ICON "${RESOURCES}/boska.ico"
!define MUI_UNICON "${RESOURCES}/boska.ico"
!define MUI_WELCOMEPAGE_TITLE "Boska ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "This installs Boska ${VERSION}: the animation as a program, in the Start menu, and as a screensaver.$\r$\n$\r$\nClick Next to continue."
; Not in silent mode, which shows no pages.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the screensaver settings with Boska selected"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreensaverSettings
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${NUMBERS}"
VIFileVersion "${NUMBERS}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Boska"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Boska ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "boska-${VERSION}-setup.exe"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "2026 The Boska developers"

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}/boska.exe"
  File "${PROGRAMS}/boska-render.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$SYSDIR"
  File "${PROGRAMS}/boska.scr"
  CreateShortCut "$SMPROGRAMS\Boska.lnk" "$INSTDIR\boska.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Boska"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\boska.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$SYSDIR" "/M=boska.scr /S=0K" $1 $2 $3
  IntOp $0 $0 + $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function OpenScreensaverSettings
  Exec '"$SYSDIR\rundll32.exe" desk.cpl,InstallScreenSaver $SYSDIR\boska.scr'
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Boska.lnk"
  Delete "$SYSDIR\boska.scr"
  Delete "$INSTDIR\boska.exe"
  Delete "$INSTDIR\boska-render.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
