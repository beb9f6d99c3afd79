# Detection for Intune's "custom detection script" (Intune runs no VBScript): writes a line and
# exits 0 when the product is installed at least at $Lowest, writes nothing and exits 1 otherwise.
# Intune passes no arguments: set the kit's UpgradeCode (from a setup log or setup.exe -whatif)
# and the version below. The same logic as detect.vbs; PowerShell does not run under Wine, so this
# one was not run by the project's tests.
$UpgradeCode = '{00000000-0000-0000-0000-000000000000}'
$Lowest = '0.0'

$installer = New-Object -ComObject WindowsInstaller.Installer
$type = $installer.GetType()
$codes = $type.InvokeMember('RelatedProducts', 'GetProperty', $null, $installer, @($UpgradeCode))
foreach ($code in $codes) {
    $version = $type.InvokeMember('ProductInfo', 'GetProperty', $null, $installer,
                                  @($code, 'VersionString'))
    if ([version]$version -ge [version]$Lowest) {
        Write-Output "installed $code $version"
        exit 0
    }
}
exit 1
