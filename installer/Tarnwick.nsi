; Setup and removal of the Tarnwick conduit. Built by installer/build.sh:
;   makensis -DBIN=<folder with the three DLLs> -DOUT=<output folder> Tarnwick.nsi
; The version is the conduit DLL's own version resource; nothing else states it.
;
; Setup: finds the HotSync installation, refuses without one, while a HotSync runs (silent:
; at once; otherwise after asking the user to let it finish) or when another conduit holds
; the creator; closes the HotSync manager, copies the DLLs, registers the conduit through
; the installation's conduit manager (CondMgr.dll) and starts the manager again (HsApi.dll),
; so that it loads the conduit. Removal: the same in reverse, keeping the settings file and
; everything of the user's. Exit codes (also in silent mode, /S): see ERR_* below.

Unicode true
; The setup that ships is 32-bit, as the DLLs it carries; the 64-bit test build (which only
; runs against the 64-bit stand-ins) passes -DTARGET=amd64-unicode.
!ifdef TARGET
  Target ${TARGET}
!endif
!ifndef BIN | OUT
  !error "define BIN and OUT"
!endif
!getdllversion "${BIN}\Tarnwick.dll" TW_
!define VERSION "${TW_1}.${TW_2}.${TW_3}.${TW_4}"

!include "LogicLib.nsh"

; Where the HotSync installation is recorded: Path is its folder, holding CondMgr.dll and
; HsApi.dll.
!define CORE_KEY "Software\U.S. Robotics\Pilot Desktop\Core"
; The conduit's registration: an application conduit (type 1) under the creator "Tnwk", its
; display name, the folder under each user's folder that HotSync hands it, its priority.
!define CREATOR "Tnwk"
!define CONDUIT_TYPE 1
!define DISPLAY_NAME "Tarnwick"
!define DIRECTORY "Tarnwick"
!define PRIORITY 2
; The conduit manager's and the HotSync calls' results that steer this program.
!define CM_ERR_NO_SUCH_CONDUIT -1003
!define HS_ERR_NOT_FOUND 0x10000001
!define HS_CLOSE 0
!define HS_START 1
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick"

!define ERR_NO_HOTSYNC 3
!define ERR_CREATOR_TAKEN 4
!define ERR_REGISTER 5
!define ERR_MANAGER_BUSY 6  ; a HotSync runs, or the manager did not close
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
Var Replace         ; 1: a registration of ours, or a stale one, is made anew

; ---- shared by setup and removal ----------------------------------------------------

; Finds the HotSync installation: $HotSyncFolder is its folder, or empty. The conduit
; manager finds its companions in its own folder, so that folder is the DLL search folder.
!macro FIND_HOTSYNC un
Function ${un}FindHotSync
  ReadRegStr $HotSyncFolder HKCU "${CORE_KEY}" "Path"
  ${If} $HotSyncFolder != ""
    ${IfNot} ${FileExists} "$HotSyncFolder\CondMgr.dll"
    ${OrIfNot} ${FileExists} "$HotSyncFolder\HsApi.dll"
      StrCpy $HotSyncFolder ""
    ${EndIf}
  ${EndIf}
  ${If} $HotSyncFolder != ""
    System::Call 'kernel32::SetDllDirectoryW(w "$HotSyncFolder")'
  ${EndIf}
FunctionEnd
!macroend

; The creator's registration: $R0 = 0 and $R1 = its conduit library (may be empty), or
; $R0 = the conduit manager's failure (CM_ERR_NO_SUCH_CONDUIT when none holds it).
!macro READ_REGISTRATION un
Function ${un}ReadRegistration
  StrCpy $R1 ""
  System::Call '$HotSyncFolder\CondMgr.dll::CmGetCreatorFile(m "${CREATOR}", m .R1, *i ${NSIS_MAX_STRLEN} R2) i .R0'
  ${If} $R0 != 0
    StrCpy $R1 ""
  ${EndIf}
FunctionEnd
!macroend

; Returns when no HotSync runs (or no manager is there to run one). While one runs it asks
; the user to let it finish and try again; silently, or when the user cancels, it quits
; (ERR_MANAGER_BUSY) before anything was changed. Then closes the HotSync manager, so that
; no library of ours is in use and it reads the registrations when started again.
!macro STOP_HOTSYNC un
Function ${un}StopHotSync
  again:
  System::Call '$HotSyncFolder\HsApi.dll::HsGetSyncStatus(*i 0 R1) i .R0'
  ${If} $R0 = 0
  ${AndIf} $R1 = 1
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "A HotSync is in progress.$\n$\nLet it finish, then choose Retry." /SD IDCANCEL IDRETRY again
    SetErrorLevel ${ERR_MANAGER_BUSY}
    Quit
  ${ElseIf} $R0 != 0
  ${AndIf} $R0 != ${HS_ERR_NOT_FOUND}
    MessageBox MB_ICONSTOP "HotSync could not tell whether a HotSync is in progress (error $R0)." /SD IDOK
    SetErrorLevel ${ERR_MANAGER_BUSY}
    Quit
  ${EndIf}
  System::Call '$HotSyncFolder\HsApi.dll::HsSetAppStatus(i ${HS_CLOSE}, i 0) i .R0'
  ${If} $R0 != 0
  ${AndIf} $R0 != ${HS_ERR_NOT_FOUND}
    MessageBox MB_ICONSTOP "The HotSync manager did not close (error $R0). Close it, then run this program again." /SD IDOK
    SetErrorLevel ${ERR_MANAGER_BUSY}
    Quit
  ${EndIf}
FunctionEnd
!macroend

; Starts the HotSync manager, which then loads the conduits registered now. A failure is
; reported but ends nothing.
!macro START_HOTSYNC un
Function ${un}StartHotSync
  System::Call '$HotSyncFolder\HsApi.dll::HsSetAppStatus(i ${HS_START}, i 0) i .R0'
  ${If} $R0 = 0
    DetailPrint "HotSync manager started"
  ${Else}
    DetailPrint "The HotSync manager could not be started ($R0): start it yourself"
  ${EndIf}
FunctionEnd
!macroend

!insertmacro FIND_HOTSYNC ""
!insertmacro FIND_HOTSYNC "un."
!insertmacro READ_REGISTRATION ""
!insertmacro READ_REGISTRATION "un."
!insertmacro STOP_HOTSYNC ""
!insertmacro STOP_HOTSYNC "un."
!insertmacro START_HOTSYNC ""
!insertmacro START_HOTSYNC "un."

; ---- setup --------------------------------------------------------------------------

Function .onInit
  Call FindHotSync
  ${If} $HotSyncFolder == ""
    MessageBox MB_ICONSTOP "No HotSync installation was found on this computer.$\n$\nInstall the HotSync desktop software first, then run this setup again." /SD IDOK
    SetErrorLevel ${ERR_NO_HOTSYNC}
    Quit
  ${EndIf}
FunctionEnd

; Registers $INSTDIR\Tarnwick.dll: a new registration, then each of its values. $R0 = 0, or
; the failure, after which no part of a registration is left.
Function Register
  System::Call '$HotSyncFolder\CondMgr.dll::CmInstallCreator(m "${CREATOR}", i ${CONDUIT_TYPE}) i .R0'
  ${If} $R0 != 0
    Return
  ${EndIf}
  System::Call '$HotSyncFolder\CondMgr.dll::CmSetCreatorName(m "${CREATOR}", m "${DISPLAY_NAME}") i .R0'
  ${If} $R0 = 0
    System::Call '$HotSyncFolder\CondMgr.dll::CmSetCreatorFile(m "${CREATOR}", m "$INSTDIR\Tarnwick.dll") i .R0'
  ${EndIf}
  ${If} $R0 = 0
    System::Call '$HotSyncFolder\CondMgr.dll::CmSetCreatorDirectory(m "${CREATOR}", m "${DIRECTORY}") i .R0'
  ${EndIf}
  ${If} $R0 = 0
    System::Call '$HotSyncFolder\CondMgr.dll::CmSetCreatorPriority(m "${CREATOR}", i ${PRIORITY}) i .R0'
  ${EndIf}
  ${If} $R0 != 0
    System::Call '$HotSyncFolder\CondMgr.dll::CmRemoveConduitByCreatorID(m "${CREATOR}") i .R1'
  ${EndIf}
FunctionEnd

Section "Tarnwick"
  ; Refuse before anything is written: a folder whose name the system's 8-bit code page
  ; cannot spell (the conduit manager and HotSync take 8-bit paths, so the registration
  ; would name a library that is not there), ...
  System::Call 'kernel32::lstrcpynA(m .R1, m "$INSTDIR", i ${NSIS_MAX_STRLEN})'
  ${If} $R1 != $INSTDIR
    MessageBox MB_ICONSTOP "HotSync cannot load a conduit from $INSTDIR: choose a folder whose name has no characters of other languages." /SD IDOK
    SetErrorLevel ${ERR_REGISTER}
    Quit
  ${EndIf}
  ; ... or a creator held by another conduit whose library still exists. Our own
  ; registration, and one whose library is gone, are made anew.
  Call ReadRegistration
  ${If} $R0 = 0
    ${If} $R1 != "$INSTDIR\Tarnwick.dll"
    ${AndIf} $R1 != ""
    ${AndIf} ${FileExists} "$R1"
      MessageBox MB_ICONSTOP "Another conduit is registered with HotSync under the creator ${CREATOR}:$\n$R1$\n$\nRemove it (or the Tarnwick installed there) first, then run this setup again." /SD IDOK
      SetErrorLevel ${ERR_CREATOR_TAKEN}
      Quit
    ${EndIf}
    StrCpy $Replace 1
    DetailPrint "Replacing the registration of ${CREATOR} ($R1)"
  ${ElseIf} $R0 != ${CM_ERR_NO_SUCH_CONDUIT}
    MessageBox MB_ICONSTOP "The conduit manager of $HotSyncFolder could not read the registrations (error $R0)." /SD IDOK
    SetErrorLevel ${ERR_REGISTRY}
    Quit
  ${Else}
    StrCpy $Replace 0
  ${EndIf}

  Call StopHotSync

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

  ${If} $Replace = 1
    System::Call '$HotSyncFolder\CondMgr.dll::CmRemoveConduitByCreatorID(m "${CREATOR}") i .R0'
  ${EndIf}
  Call Register
  ${If} $R0 != 0
    Call StartHotSync
    MessageBox MB_ICONSTOP "The conduit could not be registered with HotSync (error $R0).$\n$\nRemove Tarnwick and run this setup again." /SD IDOK
    SetErrorLevel ${ERR_REGISTER}
    Quit
  ${EndIf}
  DetailPrint "Registered $INSTDIR\Tarnwick.dll with HotSync as ${CREATOR}"
  Call StartHotSync
SectionEnd

; ---- removal ------------------------------------------------------------------------

Section "Uninstall"
  Call un.FindHotSync
  ${If} $HotSyncFolder == ""
    DetailPrint "No HotSync installation found: nothing to unregister"
  ${Else}
    Call un.StopHotSync
    Call un.ReadRegistration
    ; Only our own registration is removed; a creator held by another library is not ours.
    ${If} $R0 = 0
    ${AndIf} $R1 == "$INSTDIR\Tarnwick.dll"
      System::Call '$HotSyncFolder\CondMgr.dll::CmRemoveConduitByCreatorID(m "${CREATOR}") i .R0'
      DetailPrint "Unregistered ${CREATOR} from HotSync ($R0)"
    ${ElseIf} $R0 = 0
      DetailPrint "${CREATOR} is registered to $R1, not to this installation: left alone"
    ${EndIf}
    Call un.StartHotSync
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
