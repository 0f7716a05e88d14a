; The Colvane installer: installs the program folder for the current user, with a Start-menu
; shortcut and an entry among Windows' installed programs. /S installs and uninstalls silently.
;   makensis -DVERSION=1.0 -DDIST=<program folder> -DLISTS=<folder of install.nsh and
;            uninstall.nsh> -DOUTFILE=<setup.exe> -DICON=<exe.ico> -DPUBLISHER=<name>
;            [-DDEMO_SITE] colvane.nsi
; DEMO_SITE: the folder holds the stand-in site, which gets a Start-menu entry of its own.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetCompressorDictSize 32
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define NAME "Colvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

Name "${NAME}"
OutFile "${OUTFILE}"
; Per user: no administrator rights, and nothing the program keeps is shared between users.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\colvane.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the one for desktops in neither language, like the program's own.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString CLOSE_FIRST ${LANG_SIMPCHINESE} "请先关闭 $1，然后点击“重试”。"
LangString CLOSE_FIRST ${LANG_ENGLISH} "Close $1 first, then choose Retry."

; The Start menu and Windows' list of programs name it in the installer's language, as the
; window's title does; the uninstaller removes the entries of either language.
!define PROGRAM_ZH "Lunvo快递单号批量查询"
!define PROGRAM_EN "Lunvo Batch Parcel Tracking"
!define SITE_ZH "${PROGRAM_ZH} 演示站点"
!define SITE_EN "${PROGRAM_EN} Demo Site"
LangString PROGRAM ${LANG_SIMPCHINESE} "${PROGRAM_ZH}"
LangString PROGRAM ${LANG_ENGLISH} "${PROGRAM_EN}"
LangString PROGRAM_ABOUT ${LANG_SIMPCHINESE} "批量查询快递单号的最新物流信息"
LangString PROGRAM_ABOUT ${LANG_ENGLISH} "Looks up the latest event of a batch of parcel-tracking numbers"
LangString SITE ${LANG_SIMPCHINESE} "${SITE_ZH}"
LangString SITE ${LANG_ENGLISH} "${SITE_EN}"
LangString SITE_ABOUT ${LANG_SIMPCHINESE} "在本机 127.0.0.1:8089 运行供试用本程序的演示快递站点；关闭它的窗口即停止"
LangString SITE_ABOUT ${LANG_ENGLISH} "Runs the demo tracking site on 127.0.0.1:8089 to try the program with; close its window to stop it"

; Windows refuses to replace or delete a running program's files, so going on would leave a
; half-updated or half-removed folder. A running program's file cannot be opened for writing.
!macro DEFINE_WAIT_UNTIL_CLOSED UN
Function ${UN}WaitUntilClosed
  StrCpy $1 colvane.exe
  check:
  IfFileExists "$INSTDIR\$1" 0 next
  ClearErrors
  FileOpen $0 "$INSTDIR\$1" a
  IfErrors 0 writable
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(CLOSE_FIRST)" /SD IDCANCEL IDRETRY check
  SetErrorLevel 2
  Abort
  writable:
  FileClose $0
  next:
  StrCmp $1 tracking-site.exe done
  StrCpy $1 tracking-site.exe
  Goto check
  done:
FunctionEnd
!macroend
!insertmacro DEFINE_WAIT_UNTIL_CLOSED ""
!insertmacro DEFINE_WAIT_UNTIL_CLOSED "un."

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

Section "Install"
  SetShellVarContext current
  Call WaitUntilClosed
  !include "${LISTS}/install.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\$(PROGRAM).lnk" "$INSTDIR\colvane.exe" "" "$INSTDIR\colvane.exe" 0 \
    SW_SHOWNORMAL "" "$(PROGRAM_ABOUT)"
  !ifdef DEMO_SITE
  CreateShortcut "$SMPROGRAMS\$(SITE).lnk" "$INSTDIR\tracking-site.exe" "" \
    "$INSTDIR\tracking-site.exe" 0 SW_SHOWNORMAL "" "$(SITE_ABOUT)"
  !endif

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "$(PROGRAM)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\colvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.WaitUntilClosed
  Delete "$SMPROGRAMS\${PROGRAM_ZH}.lnk"
  Delete "$SMPROGRAMS\${PROGRAM_EN}.lnk"
  Delete "$SMPROGRAMS\${SITE_ZH}.lnk"
  Delete "$SMPROGRAMS\${SITE_EN}.lnk"
  !include "${LISTS}/uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
