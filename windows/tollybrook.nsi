; SPDX-FileCopyrightText: 2026 Tollybrook developers
; SPDX-License-Identifier: MIT
; The Windows installer, made by windows/package.sh from the zip's folder
; STAGE: the game into Program Files (its media in data\, which tells the
; game it is installed and so writes only under %APPDATA%), a Start-menu
; entry and an uninstaller in Windows' list of programs. /S installs and
; uninstalls silently; uninstalling keeps %APPDATA%\Tollybrook (the scores).
; A 64-bit installer for the 64-bit game (it also runs where Windows has
; no 32-bit part, as under a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
Name "Tollybrook"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tollybrook"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Tollybrook"
VIAddVersionKey "FileDescription" "Tollybrook installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "(C) 2026 Tollybrook developers"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tollybrook"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Tollybrook"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${STAGE}\tollybrook.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\CREDITS.txt"
  SetOutPath "$INSTDIR\data"
  File "${STAGE}\media\*.*"
  SetOutPath "$INSTDIR\licences"
  File "${STAGE}\licences\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Tollybrook.lnk" "$INSTDIR\tollybrook.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tollybrook"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tollybrook developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tollybrook.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer laid down goes: the player's scores and choices
; live under %APPDATA%\Tollybrook and stay.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Tollybrook.lnk"
  Delete "$INSTDIR\tollybrook.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\CREDITS.txt"
  RMDir /r "$INSTDIR\data"
  RMDir /r "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
