; pelkoran.nsi - the Windows installer (makensis, from tools/win-package.sh).
; Defines: VERSION, BIN (the folder of the programs), OUTFILE.
; A 64-bit installer, like the programs it installs.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"

Name "Pelkoran ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pelkoran"
InstallDirRegKey HKLM "Software\Pelkoran" "InstallDir"
RequestExecutionLevel admin
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductName" "Pelkoran"
VIAddVersionKey /LANG=1041 "FileDescription" "Pelkoran セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Pelkoran developers"

!define MUI_ICON "${BIN}\..\pelkoran.ico"
!define MUI_UNICON "${BIN}\..\pelkoran.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelkoran"

Section "Pelkoran"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${BIN}\pelkoran.exe"
    File "${BIN}\pelkoran-cli.exe"
    File "${BIN}\pelkoran-lzh.dll"
    File "${BIN}\pelkoran_lzh.h"
    File "${BIN}\README-windows.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Pelkoran.lnk" "$INSTDIR\pelkoran.exe"
    ; Send To is each user's own folder: the installing user's.
    SetShellVarContext current
    CreateShortCut "$SENDTO\Pelkoran.lnk" "$INSTDIR\pelkoran.exe"
    SetShellVarContext all
    WriteRegStr HKLM "Software\Pelkoran" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pelkoran"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pelkoran developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelkoran.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Pelkoran.lnk"
    SetShellVarContext current
    Delete "$SENDTO\Pelkoran.lnk"
    SetShellVarContext all
    Delete "$INSTDIR\pelkoran.exe"
    Delete "$INSTDIR\pelkoran-cli.exe"
    Delete "$INSTDIR\pelkoran-lzh.dll"
    Delete "$INSTDIR\pelkoran_lzh.h"
    Delete "$INSTDIR\README-windows.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Pelkoran"
SectionEnd
