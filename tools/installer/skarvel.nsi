; The per-user installer: no administrator rights, into %LOCALAPPDATA%\Programs\Skarvel, with a
; Start-menu shortcut and an entry in the user's list of installed programs. Built by
; tools/package.sh, which passes VERSION (2.6.1), VERSION4 (2.6.1.0), STAGE (the folder with
; skarvel.exe, README.txt and LICENSE.txt), ICON and OUTFILE.
;
; A running Skarvel is asked to close through its registered window message
; "Skarvel.CloseRequest" (see the README), never killed: it ends as "Exit Skarvel" ends it.

Unicode true
; the program is 64-bit only, and so is the Wine the tests run the installer under
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
; a file that cannot be replaced stops the installation (Retry or Cancel; a silent one
; cancels) rather than leaving old and new files side by side
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Skarvel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SMTO_ABORTIFHUNG 2
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
!define GENERIC_WRITE 0x40000000
!define OPEN_EXISTING 3
!define ERROR_SHARING_VIOLATION 32
!define ERROR_ACCESS_DENIED 5
!define TOKEN_QUERY 8
!define TOKEN_INTEGRITY_LEVEL 25
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
!define WTS_USER_NAME 5
; how long a copy asked to close may take before the installer gives up (ms)
!define CLOSE_WAIT 15000
; how long the one-instance mutex may outlive the copies that ended (ms)
!define MUTEX_WAIT 2000
!define INSTANCE_MUTEX "{5A1C0E42-93B7-4F6D-8E21-C07A94D3B6F1}"

Name "Skarvel"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Skarvel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Skarvel ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "Skarvel"
VIAddVersionKey "FileDescription" "Skarvel setup"
VIAddVersionKey "FileVersion" "${VERSION4}"
VIAddVersionKey "ProductVersion" "${VERSION4}"
VIAddVersionKey "LegalCopyright" "Skarvel developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\skarvel.exe"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAgainUnlessStarted
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var closedRunning ; 1 when this run closed a running copy
Var started       ; 1 when this run has started the installed copy

; Asks every running copy to close and waits until its process has ended. A copy that does
; not end in time is left alone and the installation stops: files in use cannot be replaced.
!macro CloseSkarvelFunction un
Function ${un}CloseSkarvel
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    System::Call 'user32::RegisterWindowMessageW(w "Skarvel.CloseRequest") i .r1'
    StrCpy $0 0
    ${Do}
        ; the program's windows share one class; only its tray window answers 1
        FindWindow $0 "__CWindowClass" "" 0 $0
        ${If} $0 = 0
            ${Break}
        ${EndIf}
        StrCpy $2 0
        System::Call 'user32::SendMessageTimeoutW(p r0, i r1, p 0, p 0, i ${SMTO_ABORTIFHUNG}, i 5000, *p .r2)'
        ${If} $2 = 1
            StrCpy $closedRunning 1
            System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r3)'
            System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r3) p .r4'
            ${If} $4 P<> 0
                ; the process, not the window: the exe is in use until it has ended
                System::Call 'kernel32::WaitForSingleObject(p r4, i ${CLOSE_WAIT}) i .r2'
                System::Call 'kernel32::CloseHandle(p r4)'
            ${Else}
                ; not allowed to wait on it: its tray window goes last but for the process
                StrCpy $3 0
                ${Do}
                    System::Call 'user32::IsWindow(p r0) i .r2'
                    ${If} $2 = 0
                    ${OrIf} $3 >= ${CLOSE_WAIT}
                        ${Break}
                    ${EndIf}
                    Sleep 100
                    IntOp $3 $3 + 100
                ${Loop}
                ; and the process ends after it: the installed exe stays in use until then
                ${Do}
                    System::Call 'kernel32::CreateFileW(w "$INSTDIR\skarvel.exe", i ${GENERIC_WRITE}, i 0, p 0, i ${OPEN_EXISTING}, i 0, p 0) p .r4 ?e'
                    Pop $5
                    ${If} $4 P<> -1
                        System::Call 'kernel32::CloseHandle(p r4)'
                        ${Break}
                    ${EndIf}
                    ${If} $5 <> ${ERROR_SHARING_VIOLATION}
                    ${OrIf} $3 >= ${CLOSE_WAIT}
                        ${Break}
                    ${EndIf}
                    Sleep 100
                    IntOp $3 $3 + 100
                ${Loop}
                ; IsWindow's 0 is the wait's success; a window or a file still held is not
                ${If} $3 >= ${CLOSE_WAIT}
                    StrCpy $2 1
                ${EndIf}
            ${EndIf}
            ${If} $2 <> ${WAIT_OBJECT_0}
                MessageBox MB_OK|MB_ICONSTOP "Skarvel did not close. Choose $\"Exit Skarvel$\" in its menu, then run this again." /SD IDOK
                Abort
            ${EndIf}
            ; the list of windows has changed: look again from the top
            StrCpy $0 0
        ${EndIf}
    ${Loop}
    ; A copy that knows no close request (an earlier build) still holds the one-instance
    ; mutex: the new copy would start and end at once, so stop and say so. Access denied is
    ; a copy running with higher rights. A copy that has just ended may take a moment.
    StrCpy $3 0
    ${Do}
        System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_MUTEX}") p .r4 ?e'
        Pop $5
        ${If} $4 P<> 0
            System::Call 'kernel32::CloseHandle(p r4)'
        ${ElseIf} $5 <> ${ERROR_ACCESS_DENIED}
            ${Break}
        ${EndIf}
        ${If} $3 >= ${MUTEX_WAIT}
            MessageBox MB_OK|MB_ICONSTOP "Another Skarvel is running and did not close. Choose $\"Exit Skarvel$\" in its menu, then run this again." /SD IDOK
            Abort
        ${EndIf}
        Sleep 100
        IntOp $3 $3 + 100
    ${Loop}
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro CloseSkarvelFunction ""
!insertmacro CloseSkarvelFunction "un."

; Setup installs for the account it runs as. "Run as administrator" with another account's
; name and password runs it as that account, which would install into that account's profile
; and start Skarvel there: stop instead when it is not the account logged on to this session.
; Where the session's user cannot be read, setup goes on.
Function .onInit
    Push $0
    Push $1
    Push $2
    ; WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName
    System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i ${WTS_USER_NAME}, *p .r0, *i .r1) i .r2'
    ${If} $2 <> 0
        System::Call '*$0(&w${NSIS_MAX_STRLEN} .r1)'
        System::Call 'wtsapi32::WTSFreeMemory(p r0)'
        System::Call 'advapi32::GetUserNameW(w .r0, *i ${NSIS_MAX_STRLEN}) i .r2'
        ; StrCmp, as ${If} ==, ignores case, as Windows does in account names
        ${If} $2 <> 0
        ${AndIf} $1 != ""
        ${AndIf} $0 != $1
            MessageBox MB_OK|MB_ICONSTOP "Setup runs as $0, but $1 is logged on. Skarvel installs for one account: run setup as $1, without $\"Run as administrator$\"." /SD IDOK
            Abort
        ${EndIf}
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The integrity level of the process whose id is on the stack (0x2000 medium, 0x3000 high), or
; 0 where it cannot be read.
Function IntegrityLevelOf
    Exch $0 ; the process id, then the level
    Push $1
    Push $2
    Push $3
    Push $4
    System::Call 'kernel32::OpenProcess(i ${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r0) p .r1'
    StrCpy $0 0
    ${If} $1 P<> 0
        System::Call 'advapi32::OpenProcessToken(p r1, i ${TOKEN_QUERY}, *p .r2) i .r3'
        System::Call 'kernel32::CloseHandle(p r1)'
        ${If} $3 <> 0
            ; a TOKEN_MANDATORY_LABEL: the label's SID, whose last sub-authority is the level
            System::Alloc 128
            Pop $1
            System::Call 'advapi32::GetTokenInformation(p r2, i ${TOKEN_INTEGRITY_LEVEL}, p r1, i 128, *i .r3) i .r3'
            ${If} $3 <> 0
                System::Call '*$1(p .r3)'
                System::Call 'advapi32::GetSidSubAuthorityCount(p r3) p .r4'
                System::Call '*$4(&i1 .r4)'
                ${If} $4 > 0
                    IntOp $4 $4 - 1
                    System::Call 'advapi32::GetSidSubAuthority(p r3, i r4) p .r4'
                    System::Call '*$4(i .r0)'
                ${EndIf}
            ${EndIf}
            System::Free $1
            System::Call 'kernel32::CloseHandle(p r2)'
        ${EndIf}
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Never starts Skarvel with more rights than the user's shell has: a setup run as
; administrator would start it elevated, with rights it does not need, and such a copy takes
; the place of one running without. That setup leaves the start to the user.
Function StartAgainUnlessStarted
    ${If} $started == 1
        Return
    ${EndIf}
    StrCpy $started 1
    Push $0
    Push $1
    System::Call 'kernel32::GetCurrentProcessId() i .r0'
    Push $0
    Call IntegrityLevelOf
    Pop $0
    System::Call 'user32::GetShellWindow() p .r1'
    ${If} $1 P<> 0
        System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r1)'
        Push $1
        Call IntegrityLevelOf
        Pop $1
    ${EndIf}
    ; no shell, or one whose level cannot be read: as high as this setup
    ${If} $1 = 0
        StrCpy $1 $0
    ${EndIf}
    ${If} $0 > $1
        MessageBox MB_OK|MB_ICONINFORMATION "Setup ran as administrator, so it does not start Skarvel: start it from the Start menu." /SD IDOK
    ${Else}
        Exec '"$INSTDIR\skarvel.exe"'
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

Section "Skarvel"
    SectionIn RO
    Call CloseSkarvel
    SetOutPath "$INSTDIR"
    File "${STAGE}\skarvel.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Skarvel.lnk" "$INSTDIR\skarvel.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Skarvel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Skarvel developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\skarvel.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; what this run closed, it starts again
    ${If} $closedRunning = 1
        Call StartAgainUnlessStarted
    ${EndIf}
SectionEnd

Section "un.Skarvel"
    SectionIn RO
    Call un.CloseSkarvel
    Delete "$INSTDIR\skarvel.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; only when empty: files the user put there stay
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Skarvel.lnk"

    ; "Load at Windows startup" stores the command line the program was started with: the
    ; exe's path, quoted or not, perhaps with arguments. Another copy's value stays.
    ReadRegStr $0 HKCU "${RUN_KEY}" "Skarvel"
    StrCpy $1 '"$INSTDIR\skarvel.exe"'
    StrLen $2 $1
    StrCpy $3 $0 $2
    ${If} $3 == $1
        DeleteRegValue HKCU "${RUN_KEY}" "Skarvel"
    ${Else}
        StrCpy $1 "$INSTDIR\skarvel.exe"
        StrLen $2 $1
        StrCpy $3 $0 $2
        StrCpy $4 $0 1 $2
        ${If} $3 == $1
            ${If} $4 == ""
            ${OrIf} $4 == " "
                DeleteRegValue HKCU "${RUN_KEY}" "Skarvel"
            ${EndIf}
        ${EndIf}
    ${EndIf}

    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Never chosen in a silent uninstall: the settings stay for a later install.
Section /o "un.Remove settings"
    DeleteRegKey HKCU "Software\Skarvel"
SectionEnd
