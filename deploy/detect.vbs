' Detection for deployment tools: is the product a kit installs there, at least at a version?
' It asks the Windows Installer for the products related to the kit's UpgradeCode, so it holds
' whether the kit shares one ProductCode or has one per level and language.
'
'   cscript //nologo detect.vbs <UpgradeCode> [<lowest version>]
'
' Installed (at that version or later): writes "installed <ProductCode> <version>" and exits 0.
' Not installed, or only earlier versions: writes nothing and exits 1. Configuration Manager
' reads any output with exit code 0 as "detected", and runs the script without arguments: set
' the two constants below for it. The UpgradeCode is in every setup log ("platform package ...:
' UpgradeCode {...}") and in setup.exe -whatif's plan.
Option Explicit

Const KitUpgradeCode = ""
Const KitLowestVersion = ""

Dim upgradeCode, lowest, installer, code, version
upgradeCode = KitUpgradeCode
lowest = KitLowestVersion
If WScript.Arguments.Count > 0 Then upgradeCode = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then lowest = WScript.Arguments(1)
If upgradeCode = "" Then
    WScript.StdErr.WriteLine "usage: cscript //nologo detect.vbs <UpgradeCode> [<lowest version>]"
    WScript.Quit 2
End If

Set installer = CreateObject("WindowsInstaller.Installer")
For Each code In installer.RelatedProducts(upgradeCode)
    version = installer.ProductInfo(code, "VersionString")
    If AtLeast(version, lowest) Then
        WScript.Echo "installed " & code & " " & version
        WScript.Quit 0
    End If
Next
WScript.Quit 1

' Field by field as numbers, a missing field counting as 0, as the installer orders versions.
Function AtLeast(version, wanted)
    Dim have, want, i, a, b
    have = Split(version, ".")
    want = Split(wanted, ".")
    AtLeast = True
    For i = 0 To UBound(want)
        a = 0
        b = 0
        If i <= UBound(have) Then a = CDbl("0" & have(i))
        If want(i) <> "" Then b = CDbl(want(i))
        If a > b Then Exit Function
        If a < b Then
            AtLeast = False
            Exit Function
        End If
    Next
End Function
