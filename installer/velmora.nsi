; The installer: puts velmora.dll and vmuninst.exe into "Program Files\Velmora",
; writes the system's uninstall entry that vmuninst.exe removes again, and
; writes the DLL's registration. One script for both builds; CMake passes
;   -DARCH=x86|x64 -DDLL=<velmora.dll> -DUNINSTALLER=<vmuninst.exe> -DOUTFILE=<setup.exe>
; The x86 installer is a 32-bit program with the 32-bit binaries (shipped);
; the x64 one, a 64-bit program with the 64-bit binaries, lets the whole
; cycle run where only 64-bit code runs.

Unicode true
!include LogicLib.nsh
!include WinCore.nsh
!if "${ARCH}" == "x64"
    Target amd64-unicode
    InstallDir "$PROGRAMFILES64\Velmora"
!else
    Target x86-unicode
    InstallDir "$PROGRAMFILES\Velmora"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velmora"
!define BAND_CLSID "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}"
!define CLASS_KEY "CLSID\${BAND_CLSID}"
!define TOOLBAR_KEY "Software\Microsoft\Internet Explorer\Toolbar"
!define PRODUCT_KEY "Software\Velmora"
!define CATID_INFOBAND "{00021493-0000-0000-C000-000000000046}"
; HKEY_LOCAL_MACHINE for System calls, sign-extended where handles are 64-bit.
!define HKLM_HANDLE -2147483646

Name "Velmora"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestSupportedOS all
ShowInstDetails show
Icon "../uninstaller/vmuninst.ico"

; NSIS takes the user's language when it is one of these, else the first.
LoadLanguageFile "${NSISDIR}/Contrib/Language files/English.nlf"
LoadLanguageFile "${NSISDIR}/Contrib/Language files/German.nlf"
LangString NotRegistered ${LANG_ENGLISH} "Velmora is installed, but it could not be registered with Internet Explorer."
LangString NotRegistered ${LANG_GERMAN} "Velmora ist installiert, konnte aber nicht im Internet Explorer angemeldet werden."
LangString RestartBrowser ${LANG_ENGLISH} "Velmora is installed. Close every Internet Explorer window and open it again to see the toolbar."
LangString RestartBrowser ${LANG_GERMAN} "Velmora ist installiert. Schließen Sie alle Fenster des Internet Explorers und öffnen Sie ihn wieder, um die Leiste zu sehen."

Page directory
Page instfiles

Section
    SetOutPath "$INSTDIR"
    File "/oname=velmora.dll" "${DLL}"
    File "/oname=vmuninst.exe" "${UNINSTALLER}"

    ; The entry comes before the registration, so that whatever the
    ; registration leaves behind, the uninstaller can be found to remove it.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velmora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "2.0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velmora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vmuninst.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\vmuninst.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; The registration is written here, not by the DLL's DllRegisterServer:
    ; that opens a browser window, which would run with this process's
    ; administrator rights, and it shows a box when the browser cannot show
    ; the toolbar, which would hold a silent install. Same keys and values.
    ; From this process, so they land in the registry view of the DLL's width.
    Call WriteRegistration
    IfErrors 0 registered
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(NotRegistered)" /SD IDOK
        SetErrorLevel 2
        Goto done
    registered:
    ; The browser picks the toolbar up when it starts again; it is not started
    ; from here, where it would have this process's rights.
    MessageBox MB_OK|MB_ICONINFORMATION "$(RestartBrowser)" /SD IDOK
    done:
SectionEnd

; The COM class, its info-band category and the browser's toolbar entry; the
; error flag is set when they cannot be written, as where the browser's
; toolbar key is missing (it is never created: without it there is no
; browser). Then the installation's id and first date, written once and kept.
Function WriteRegistration
    ClearErrors
    WriteRegStr HKCR "${CLASS_KEY}" "" "Velmora"
    WriteRegStr HKCR "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\velmora.dll"
    WriteRegStr HKCR "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
    ; The category is a key without values.
    WriteRegStr HKCR "${CLASS_KEY}\Implemented Categories\${CATID_INFOBAND}" "velmora" ""
    DeleteRegValue HKCR "${CLASS_KEY}\Implemented Categories\${CATID_INFOBAND}" "velmora"
    IfErrors written
    ; Opened for writing (KEY_WRITE) as the DLL opens it: WriteRegStr would create it.
    System::Call 'advapi32::RegOpenKeyExW(p ${HKLM_HANDLE}, w "${TOOLBAR_KEY}", i 0, i 0x20006, *p .r1) i .r0'
    ${If} $0 != 0
        SetErrors
        Goto written
    ${EndIf}
    System::Call 'advapi32::RegCloseKey(p r1)'
    WriteRegStr HKLM "${TOOLBAR_KEY}" "${BAND_CLSID}" ""
    IfErrors written
    Call WriteProductValues
    ClearErrors
    written:
FunctionEnd

; A value that is there and fits its size is kept, whatever it holds.
Function WriteProductValues
    System::Alloc 39
    Pop $1
    System::Call 'shlwapi::SHGetValueA(p ${HKLM_HANDLE}, m "${PRODUCT_KEY}", m "RegisterGUID", p 0, p r1, *i 39) i .r0'
    ${If} $0 != 0
        System::Call 'ole32::CoCreateGuid(g .r2) i .r0'
        ${If} $0 == 0
            WriteRegStr HKLM "${PRODUCT_KEY}" "RegisterGUID" $2
        ${EndIf}
    ${EndIf}
    System::Call 'shlwapi::SHGetValueA(p ${HKLM_HANDLE}, m "${PRODUCT_KEY}", m "InstallDate", p 0, p r1, *i 16) i .r0'
    ${If} $0 != 0
        System::Call 'kernel32::GetLocalTime(p r1)'
        System::Call 'shlwapi::SHSetValueA(p ${HKLM_HANDLE}, m "${PRODUCT_KEY}", m "InstallDate", i ${REG_BINARY}, p r1, i 16)'
    ${EndIf}
    System::Free $1
FunctionEnd
