; The zorvedit installer for 64-bit Windows, per user or per machine.
;   makensis -DVERSION=0.1 -DPAYLOAD=DIR -DOUTFILE=setup.exe zorvedit.nsi
; PAYLOAD holds what is installed: zorvedit.exe, zorvtool.exe, the Qt and
; runtime DLLs with their plugin folders, LICENSE and README.txt.
; Silent: setup.exe /S /CurrentUser   or   setup.exe /S /AllUsers

Unicode true
Target amd64-unicode

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef PAYLOAD
  !error "PAYLOAD is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "zorvedit-${VERSION}-windows-x86_64-setup.exe"
!endif

!define APP "zorvedit"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; The program keeps its working copy in %LOCALAPPDATA% when this lies beside it.
!define MARKER "zorvedit.installed"

Name "zorvedit ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!include MultiUser.nsh
!include MUI2.nsh

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_LICENSE "${PAYLOAD}\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "zorvedit"
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*.*"
  FileOpen $0 "$INSTDIR\${MARKER}" w
  FileWrite $0 "$MultiUser.InstallMode$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\zorvedit.lnk" "$INSTDIR\zorvedit.exe"

  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "zorvedit"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "zorvedit"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\zorvedit.exe"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallMode" "$MultiUser.InstallMode"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes; the settings key
; (Software\NV\zorvedit), the working copy and the backups stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\zorvedit.lnk"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${MARKER}"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINST_KEY}"
SectionEnd
