; The decision as a vendor's bootstrapper built with makensis would make it, through the System
; plug-in: is the package beside it already installed at its own version? Exits 3 when it is,
; 0 when not, 1 when it cannot tell. A benchmark peer; it installs nothing.
;
;   makensis -DOUTFILE=/path/peer.exe peer.nsi
Unicode true
SilentInstall silent
RequestExecutionLevel admin
Name "Peer"
OutFile "${OUTFILE}"

!include LogicLib.nsh
!include x64.nsh

!define MSIDBOPEN_READONLY 0
!define INSTALLUILEVEL_NONE 2
!define COINIT_APARTMENTTHREADED 2
!define INSTALLSTATE_DEFAULT 5

Var package
Var productCode
Var upgradeCode
Var productVersion

; $0 status, $1 database, $2 view, $3 record, $4 name, $5 value
Function ReadPackage
  System::Call 'msi::MsiOpenDatabaseW(w "$EXEDIR\$package", p ${MSIDBOPEN_READONLY}, *p .r1) i .r0'
  ${If} $0 <> 0
    Return
  ${EndIf}
  ; One view for the three: each view is a pass over the table.
  System::Call `msi::MsiDatabaseOpenViewW(p r1, w "SELECT Property, Value FROM Property WHERE Property='ProductCode' OR Property='UpgradeCode' OR Property='ProductVersion'", *p .r2) i .r0`
  ${If} $0 = 0
    System::Call 'msi::MsiViewExecute(p r2, p 0) i .r0'
    ${DoWhile} $0 = 0
      System::Call 'msi::MsiViewFetch(p r2, *p .r3) i .r0'
      ${If} $0 = 0
        System::Call 'msi::MsiRecordGetStringW(p r3, i 1, w .r4, *i ${NSIS_MAX_STRLEN})'
        System::Call 'msi::MsiRecordGetStringW(p r3, i 2, w .r5, *i ${NSIS_MAX_STRLEN})'
        System::Call 'msi::MsiCloseHandle(p r3)'
        ${If} $4 == "ProductCode"
          StrCpy $productCode $5
        ${ElseIf} $4 == "UpgradeCode"
          StrCpy $upgradeCode $5
        ${ElseIf} $4 == "ProductVersion"
          StrCpy $productVersion $5
        ${EndIf}
      ${EndIf}
    ${Loop}
    System::Call 'msi::MsiCloseHandle(p r2)'
  ${EndIf}
  System::Call 'msi::MsiCloseHandle(p r1)'
FunctionEnd

; $0 status, $6 related product, $7 its state, $8 its version
Function .onInit
  SetErrorLevel 1
  ${If} ${RunningX64}
    FindFirst $0 $package "$EXEDIR\*x64*.msi"
  ${Else}
    FindFirst $0 $package "$EXEDIR\*win32*.msi"
  ${EndIf}
  FindClose $0
  ${If} $package == ""
    Quit
  ${EndIf}

  System::Call 'msi::MsiSetInternalUI(i ${INSTALLUILEVEL_NONE}, p 0)'
  System::Call 'ole32::CoInitializeEx(p 0, i ${COINIT_APARTMENTTHREADED}) i .r9'
  Call ReadPackage
  ${If} $productCode != ""
  ${AndIf} $upgradeCode != ""
    SetErrorLevel 0
    System::Call 'msi::MsiEnumRelatedProductsW(w "$upgradeCode", i 0, i 0, w .r6) i .r0'
    ${If} $0 = 0
      System::Call 'msi::MsiQueryProductStateW(w r6) i .r7'
      System::Call 'msi::MsiGetProductInfoW(w r6, w "VersionString", w .r8, *i ${NSIS_MAX_STRLEN}) i .r0'
      ${If} $7 = ${INSTALLSTATE_DEFAULT}
      ${AndIf} $0 = 0
      ${AndIf} $8 == $productVersion
        SetErrorLevel 3
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $9 >= 0
    System::Call 'ole32::CoUninitialize()'
  ${EndIf}
  Quit
FunctionEnd

Section
SectionEnd
