; The Kestrix Console's installer for 64-bit Windows, made with makensis.
; The build passes the files it installs:
;   makensis -DVERSION=2.1.0 -DVELORA_EXE=... -DPROXY_STUB_DLL=... -DMEDIA_DIR=...
;            -DICON=... -DOUTFILE=... velora.nsi
; Silent with /S, for both the installer and the uninstaller. The console
; registers itself (velora.exe -RegServer, which also registers the
; proxy/stub beside it) and is unregistered before its files go.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "LogicLib.nsh"

!ifndef VERSION
  !error "VERSION is not defined"
!endif

!define PRODUCT "Kestrix Console"
!define VENDOR "Kestrix Inc."
!define CONSOLE_TITLE "Kestrix Console"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrix Console"
!define SHORTCUT_FOLDER "$SMPROGRAMS\Kestrix"
!define SHORTCUT "${SHORTCUT_FOLDER}\Kestrix Console.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrix\Velora"
Icon "${ICON}"
UninstallIcon "${ICON}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${VENDOR}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${VENDOR}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running console answers a second start by coming forward and does
; nothing else, so neither its registration nor its files could change.
!macro RefuseWhileTheConsoleRuns
  FindWindow $0 "" "${CONSOLE_TITLE}"
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Please close the ${PRODUCT} first." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro RefuseWhileTheConsoleRuns
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro RefuseWhileTheConsoleRuns
FunctionEnd

Section "Console"
  SetOutPath "$INSTDIR"
  File "/oname=velora.exe" "${VELORA_EXE}"
  File "/oname=kx_proxy_stub.dll" "${PROXY_STUB_DLL}"
  SetOutPath "$INSTDIR\media"
  File "${MEDIA_DIR}/1stPlace.wav"
  File "${MEDIA_DIR}/fanfare.wav"
  File "${MEDIA_DIR}/clap.wav"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The console finds its rank sounds and writes its trace below the
  ; folder it starts in: the shortcut starts it here.
  SetOutPath "$INSTDIR"
  CreateDirectory "${SHORTCUT_FOLDER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\velora.exe" "" "$INSTDIR\velora.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velora.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ClearErrors
  ExecWait '"$INSTDIR\velora.exe" -RegServer' $0
  ${If} ${Errors}
  ${OrIf} $0 <> 0
    DetailPrint "velora.exe -RegServer ended with $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "The ${PRODUCT} could not be registered ($0): games cannot reach it." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Section "Uninstall"
  ExecWait '"$INSTDIR\velora.exe" -UnregServer' $0
  DetailPrint "velora.exe -UnregServer ended with $0"

  Delete "${SHORTCUT}"
  RMDir "${SHORTCUT_FOLDER}"

  Delete "$INSTDIR\media\1stPlace.wav"
  Delete "$INSTDIR\media\fanfare.wav"
  Delete "$INSTDIR\media\clap.wav"
  RMDir "$INSTDIR\media"
  ; The trace file the console writes when started from its shortcut.
  Delete "$INSTDIR\debug.txt"
  Delete "$INSTDIR\kx_proxy_stub.dll"
  Delete "$INSTDIR\velora.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
