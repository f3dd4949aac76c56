; The Quadrine installer for one architecture: makensis -DVERSION=0.1 -DARCH=win64
; -DTARGET=amd64-unicode -DFILES=folder -DOUTFILE=setup.exe quadrine.nsi
; Installs for the current user only, into %LOCALAPPDATA%\Quadrine: the converter writes its
; settings, log and list of created files beside itself, so its folder must be the user's.
Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "x64.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quadrine"

Name "Quadrine ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Quadrine"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${FILEVERSION}"
VIAddVersionKey "ProductName" "Quadrine"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quadrine ${VERSION} installer (${ARCH})"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Quadrine authors, MIT License"

!insertmacro MUI_PAGE_LICENSE "${FILES}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Quadrine"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${FILES}/quadrine.exe"
  File "${FILES}/quadrine-results.exe"
  File "${FILES}/LICENSE.txt"
  File "${FILES}/README-Windows.txt"
  ; The user's settings are never replaced: a new install keeps the ones an earlier one left.
  SetOverwrite off
  File "${FILES}/option.ini"
  File "${FILES}/config.ini"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quadrine ${VERSION} (${ARCH})"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Quadrine authors"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The programs go; the settings, the log, the list of created files and the output stay,
; and so does the folder while it holds them.
Section "Uninstall"
  Delete "$INSTDIR\quadrine.exe"
  Delete "$INSTDIR\quadrine-results.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd
