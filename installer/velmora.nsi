; The installer: puts velmora.dll and vmuninst.exe into "Program Files\Velmora",
; writes the system's uninstall entry that vmuninst.exe removes again, and
; registers the DLL. One script for both builds; CMake passes
;   -DARCH=x86|x64 -DDLL=<velmora.dll> -DUNINSTALLER=<vmuninst.exe> -DOUTFILE=<setup.exe>
; The x86 installer is a 32-bit program with the 32-bit binaries (shipped);
; the x64 one, a 64-bit program with the 64-bit binaries, lets the whole
; cycle run where only 64-bit code runs.

Unicode true
!if "${ARCH}" == "x64"
    Target amd64-unicode
    InstallDir "$PROGRAMFILES64\Velmora"
!else
    Target x86-unicode
    InstallDir "$PROGRAMFILES\Velmora"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velmora"

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

    ; In this process, so the DLL's width always matches the installer's.
    ; DllRegisterServer opens a browser window with the toolbar (a browser
    ; that cannot show it gets the DLL's own error box, also in a silent
    ; install); it fails when it cannot write the registration, as where
    ; Internet Explorer's toolbar key is missing.
    ClearErrors
    RegDLL "$INSTDIR\velmora.dll"
    IfErrors 0 registered
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(NotRegistered)" /SD IDOK
        SetErrorLevel 2
    registered:
SectionEnd
