; Setup and removal of the Tarnwick conduit. Built by installer/build.sh:
;   makensis -DBIN=<folder with the three DLLs> -DOUT=<output folder> Tarnwick.nsi
; The version is the conduit DLL's own version resource; nothing else states it.
;
; Setup: refuses without a HotSync installation or when another conduit holds the
; creator, stops the HotSync manager if it runs, copies the DLLs, registers the conduit
; through the conduit manager library of the HotSync installation, restarts the manager.
; Removal: the same in reverse, keeping the settings file and everything of the user's.
; Exit codes (also in silent mode, /S): see ERR_* below.

Unicode true
!ifndef BIN | OUT
  !error "define BIN and OUT"
!endif
!getdllversion "${BIN}\Tarnwick.dll" TW_
!define VERSION "${TW_1}.${TW_2}.${TW_3}.${TW_4}"

!include "LogicLib.nsh"
!include "WinMessages.nsh"

; Where the HotSync installation is marked: values Folder (holds CONDMGR.dll) and
; ManagerCommand (starts the HotSync manager); the running manager owns a window of
; MANAGER_WINDOW's class.
!define HOTSYNC_KEY "Software\Tarnwick Standin\HotSync"
!define MANAGER_WINDOW "TarnwickStandinHotSyncManager"
; The conduit's registration: creator "Tnwk", display name and priority.
!define CREATOR 0x546E776B
!define CREATOR_TEXT "Tnwk"
!define DISPLAY_NAME "Tarnwick"
!define PRIORITY 2
; Results come back as decimal text ("error" when the call could not be made): compared as text.
!define CM_ERR_NOT_REGISTERED 32561
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick"

!define ERR_NO_HOTSYNC 3
!define ERR_CREATOR_TAKEN 4
!define ERR_REGISTER 5
!define ERR_MANAGER_BUSY 6
!define ERR_REGISTRY 7

Name "Tarnwick ${VERSION}"
OutFile "${OUT}\Tarnwick-${VERSION}-setup.exe"
InstallDir "$PROGRAMFILES\Tarnwick"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Tarnwick"
VIAddVersionKey "FileDescription" "Tarnwick setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Tarnwick developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var HotSyncFolder   ; empty: no HotSync installation
Var ManagerStopped  ; 1 when this program closed the running HotSync manager

; ---- shared by setup and removal ----------------------------------------------------

; Finds the HotSync installation: $HotSyncFolder is its folder, or empty.
!macro FIND_HOTSYNC un
Function ${un}FindHotSync
  ReadRegStr $HotSyncFolder HKCU "${HOTSYNC_KEY}" "Folder"
  ${If} $HotSyncFolder != ""
  ${AndIfNot} ${FileExists} "$HotSyncFolder\CONDMGR.dll"
    StrCpy $HotSyncFolder ""
  ${EndIf}
FunctionEnd
!macroend

; The creator's registration: $R0 = 0 and $R1 = the registered library path, or $R0 = the
; conduit manager's failure (CM_ERR_NOT_REGISTERED when none). The manager library finds
; its companions (SYNC20.dll) in its own folder, so that folder is the DLL search folder.
!macro READ_REGISTRATION un
Function ${un}ReadRegistration
  System::Call 'kernel32::SetDllDirectoryW(w "$HotSyncFolder")'
  System::Call '*(i, i, &m260, &m64) p .R2'
  System::Call '$HotSyncFolder\CONDMGR.dll::CmRegistrationByCreator(i ${CREATOR}, p R2) i .R0 ?c'
  StrCpy $R1 ""
  ${If} $R0 == 0
    System::Call '*$R2(i, i, &m260 .R1, &m64)'
  ${EndIf}
  System::Free $R2
FunctionEnd
!macroend

; Closes the HotSync manager if it runs, so that it reads the registrations again when it
; is started afterwards, and so that no library of ours is in use. Aborts (ERR_MANAGER_BUSY)
; when it is still there after ten seconds.
!macro STOP_MANAGER un
Function ${un}StopManager
  StrCpy $ManagerStopped 0
  FindWindow $R0 "${MANAGER_WINDOW}"
  ${If} $R0 = 0
    Return
  ${EndIf}
  DetailPrint "Closing the HotSync manager"
  SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $R1 0
  ${Do}
    FindWindow $R0 "${MANAGER_WINDOW}"
    ${If} $R0 = 0
      StrCpy $ManagerStopped 1
      Return
    ${EndIf}
    Sleep 100
    IntOp $R1 $R1 + 1
  ${LoopUntil} $R1 >= 100
  MessageBox MB_ICONSTOP "The HotSync manager did not close. Close it, then run this program again." /SD IDOK
  SetErrorLevel ${ERR_MANAGER_BUSY}
  Quit
FunctionEnd
!macroend

; Starts the HotSync manager again through the launcher's LaunchApp (no wait) when this
; program closed it. A failure is reported but ends nothing: the conduit is in place.
!macro RESTART_MANAGER un
Function ${un}RestartManager
  ${If} $ManagerStopped <> 1
    Return
  ${EndIf}
  StrCpy $ManagerStopped 0
  ReadRegStr $R0 HKCU "${HOTSYNC_KEY}" "ManagerCommand"
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${BIN}\Kickoff.dll"
  ; The manager inherits the current folder: its own, not the plugins folder, which a
  ; running process would keep from being removed.
  SetOutPath "$HotSyncFolder"
  System::Call '$PLUGINSDIR\Kickoff.dll::LaunchApp(i 0, i 0, m R0) i .R1 ?u'
  ${If} $R1 == 0
    DetailPrint "HotSync manager started again"
  ${Else}
    DetailPrint "The HotSync manager could not be started again ($R1): start it yourself"
  ${EndIf}
FunctionEnd
!macroend

!insertmacro FIND_HOTSYNC ""
!insertmacro FIND_HOTSYNC "un."
!insertmacro READ_REGISTRATION ""
!insertmacro READ_REGISTRATION "un."
!insertmacro STOP_MANAGER ""
!insertmacro STOP_MANAGER "un."
!insertmacro RESTART_MANAGER ""
!insertmacro RESTART_MANAGER "un."

; ---- setup --------------------------------------------------------------------------

Function .onInit
  Call FindHotSync
  ${If} $HotSyncFolder == ""
    MessageBox MB_ICONSTOP "No HotSync installation was found on this computer.$\n$\nInstall the HotSync manager first, then run this setup again." /SD IDOK
    SetErrorLevel ${ERR_NO_HOTSYNC}
    Quit
  ${EndIf}
FunctionEnd

Section "Tarnwick"
  ; Refuse before anything is written: a creator held by another conduit whose library
  ; still exists. A registration whose library is gone is stale and is replaced.
  Call ReadRegistration
  ${If} $R0 == 0
  ${AndIf} $R1 != "$INSTDIR\Tarnwick.dll"
    ${If} ${FileExists} "$R1"
      MessageBox MB_ICONSTOP "Another conduit is registered with HotSync under the creator ${CREATOR_TEXT}:$\n$R1$\n$\nRemove it (or the Tarnwick installed there) first, then run this setup again." /SD IDOK
      SetErrorLevel ${ERR_CREATOR_TAKEN}
      Quit
    ${EndIf}
    DetailPrint "Replacing the stale registration of $R1"
    System::Call '$HotSyncFolder\CONDMGR.dll::CmUnregisterConduit(i ${CREATOR}) i .R0 ?c'
  ${ElseIf} $R0 != 0
  ${AndIf} $R0 != ${CM_ERR_NOT_REGISTERED}
    MessageBox MB_ICONSTOP "The conduit manager of $HotSyncFolder could not read the registrations (error $R0)." /SD IDOK
    SetErrorLevel ${ERR_REGISTRY}
    Quit
  ${EndIf}

  Call StopManager

  ; The removal program first: a setup that fails past this point can still be removed.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tarnwick"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The settings file (Tarnwick.ini) beside the conduit is the user's: never written here.
  File "${BIN}\Tarnwick.dll"
  File "${BIN}\Detach.dll"
  File "${BIN}\Kickoff.dll"

  System::Call 'kernel32::SetDllDirectoryW(w "$HotSyncFolder")'
  System::Call '$HotSyncFolder\CONDMGR.dll::CmRegisterConduit(i ${CREATOR}, m "$INSTDIR\Tarnwick.dll", m "${DISPLAY_NAME}", i ${PRIORITY}) i .R0 ?c'
  ${If} $R0 != 0
    Call RestartManager
    MessageBox MB_ICONSTOP "The conduit could not be registered with HotSync (error $R0).$\n$\nRemove Tarnwick and run this setup again." /SD IDOK
    SetErrorLevel ${ERR_REGISTER}
    Quit
  ${EndIf}
  DetailPrint "Registered $INSTDIR\Tarnwick.dll with HotSync as ${CREATOR_TEXT}"
  Call RestartManager
SectionEnd

; ---- removal ------------------------------------------------------------------------

Section "Uninstall"
  Call un.FindHotSync
  ${If} $HotSyncFolder == ""
    DetailPrint "No HotSync installation found: nothing to unregister"
  ${Else}
    Call un.StopManager
    Call un.ReadRegistration
    ; Only our own registration is removed; a creator held by another library is not ours.
    ${If} $R0 == 0
    ${AndIf} $R1 == "$INSTDIR\Tarnwick.dll"
      System::Call '$HotSyncFolder\CONDMGR.dll::CmUnregisterConduit(i ${CREATOR}) i .R0 ?c'
      DetailPrint "Unregistered ${CREATOR_TEXT} from HotSync ($R0)"
    ${ElseIf} $R0 == 0
      DetailPrint "${CREATOR_TEXT} is registered to $R1, not to this installation: left alone"
    ${EndIf}
    Call un.RestartManager
  ${EndIf}

  ; The program files only: Tarnwick.ini (the settings) stays beside them, and the user's
  ; PC folders and archive lie elsewhere.
  Delete "$INSTDIR\Tarnwick.dll"
  Delete "$INSTDIR\Detach.dll"
  Delete "$INSTDIR\Kickoff.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
