; The Windows installer of Quelmar (NSIS 3, 64-bit Unicode). Built by the
; cross build's target quelmar_installer (packaging/Packaging.cmake), which
; defines:
;   VERSION       the project's version (1.0.0)
;   VERSION_QUAD  the same in four numbers (1.0.0.0)
;   EXE           the Release quelmar.exe
;   ICON          the program's icon
;   OUTFILE       the installer to write
;
; It installs quelmar.exe into Program Files\Quelmar, adds the Start menu
; entries "Quelmar" and "Quelmar (balanza simulada)" for every user, creates
; C:\velsor\ (the folder of the program's files, which the program never
; creates) and registers the uninstaller in Add or Remove Programs. The
; uninstaller removes the program and its entries and keeps C:\velsor\ with
; everything in it: calibration, limits, reports and the shift's statistics
; are the user's. Both run silently with /S.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh

!define PRODUCT "Quelmar"
!define PUBLISHER "Proyecto Quelmar"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelmar"
; The program's files have this fixed path (storage/, c:\velsor\usb.ini).
!define DATA_DIR "C:\velsor"
!define SHORTCUT "$SMPROGRAMS\Quelmar.lnk"
!define SHORTCUT_SIMULATED "$SMPROGRAMS\Quelmar (balanza simulada).lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quelmar"
; A new version goes where the previous one is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=3082 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=3082 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=3082 "LegalCopyright" "© 2026 ${PUBLISHER}"
VIAddVersionKey /LANG=3082 "FileDescription" "Instalador de Quelmar"
VIAddVersionKey /LANG=3082 "FileVersion" "${VERSION_QUAD}"
VIAddVersionKey /LANG=3082 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\quelmar.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Spanish (Spain, modern sort): 3082, the language of the program's resources.
!insertmacro MUI_LANGUAGE "Spanish"

Function .onInit
    ; quelmar.exe is a 64-bit program built for Windows 7 and later
    ; (_WIN32_WINNT 0x0601); the installer's own stub only starts on 64-bit
    ; Windows.
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_ICONSTOP|MB_OK "Quelmar necesita Windows 7 o posterior (64 bits)." /SD IDOK
        Abort
    ${EndIf}
    SetShellVarContext all
FunctionEnd

Section "Quelmar"
    SetOutPath "$INSTDIR"
    File "/oname=quelmar.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The working directory of both entries is the program's folder: the
    ; program's files have absolute paths anyway.
    CreateShortcut "${SHORTCUT}" "$INSTDIR\quelmar.exe" "" "$INSTDIR\quelmar.exe" 0
    CreateShortcut "${SHORTCUT_SIMULATED}" "$INSTDIR\quelmar.exe" "--simulate" "$INSTDIR\quelmar.exe" 0

    ; Created here because the program never creates it. A folder made under
    ; C:\ inherits the drive's rights: the users who may sign in can create
    ; and change files in it.
    CreateDirectory "${DATA_DIR}"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quelmar.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB, for Add or Remove Programs.
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "Uninstall"
    ; Only what the installer put there: nothing in C:\velsor\ is touched,
    ; and a folder holding anything else the user left is kept.
    Delete "${SHORTCUT}"
    Delete "${SHORTCUT_SIMULATED}"
    Delete "$INSTDIR\quelmar.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
