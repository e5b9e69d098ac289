; The Windows installer: the program folder as the zip holds it, for all
; users below Program Files, with a Start menu entry and an uninstaller.
; The panel keeps its projects beside the program, so the installer lets
; the users of the machine write projects\. makensis -DSTAGE=FOLDER
; -DVERSION=X.Y -DOUTFILE=FILE installer.nsi (./panel.sh windows does).
; A 64-bit installer, as the programs are: Windows itself refuses it on a
; 32-bit system, and it sees the 64-bit registry and Program Files.
Target amd64-unicode
!include LogicLib.nsh

!define NAME "Qalix-PLUS-Control"
!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\qalix-plus-control"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "${KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    ; Users (by their well-known SID, whatever the language) may store and
    ; unpack projects there, and files made there inherit it.
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\projects" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0
    ${If} $0 != 0
        DetailPrint "icacls could not open $INSTDIR\projects to the users ($0): the panel then needs administrator rights"
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\${NAME}"
    CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\qalix-plus-control.exe"
    CreateShortcut "$SMPROGRAMS\${NAME}\${NAME} (demo).lnk" "$INSTDIR\qalix-plus-control.exe" \
        '"$INSTDIR\projects\demo.qlxd"'
    CreateShortcut "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY}" "Publisher" "Qalix-PLUS-Control developers"
    WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\qalix-plus-control.exe"
    WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

; The program goes; the projects stay: the packages stored there and
; settings.ini are the operator's. Only what the panel makes again at its
; next start (the unpacked pictures, its probe file) is removed.
Section "Uninstall"
    SetShellVarContext all
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\readme.txt"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\imageformats"
    RMDir /r "$INSTDIR\licences"
    RMDir /r "$INSTDIR\projects\icons\project"
    RMDir /r "$INSTDIR\projects\background\project"
    RMDir "$INSTDIR\projects\icons"
    RMDir "$INSTDIR\projects\background"
    Delete "$INSTDIR\projects\testFile"
    RMDir "$INSTDIR\projects"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\projects\*.*"
        DetailPrint "Kept: $INSTDIR\projects (the stored projects and settings)"
    ${EndIf}
    RMDir /r "$SMPROGRAMS\${NAME}"
    DeleteRegKey HKLM "${KEY}"
SectionEnd
