# Detection for deployment tools (Intune runs it as its custom detection script): is the product a
# kit installs there, at a version at least, at a level that counts? Settings below; arguments
# given in this order override them: detect.ps1 <UpgradeCode> [<lowest> [<levels>]]
# detect.js is the same script, line for line, in JScript (Configuration Manager).
#
# There: exactly one product related to the UpgradeCode is installed, at that version or later,
# at one of the levels. Writes "installed <ProductCode> <version> <level>" and exits 0.
# Not there (none, older, two products, another level): writes nothing and exits 0.
# A real error (no installer object, a bad setting): a line and exit code 2.
# The UpgradeCode and the levels are in the release's kit.json and in every setup log.
$UpgradeCode = ''
$Lowest = '0'
# Levels: e.g. 'kc2 kc3'; empty: any level
$Levels = ''

# Field by field as numbers, a missing field counting as 0, as the installer orders versions.
function AtLeast($version, $wanted) {
    $have = $version.Split('.')
    $want = $wanted.Split('.')
    for ($i = 0; $i -lt [Math]::Max($have.Count, $want.Count); $i++) {
        $a = [int64]0; if ($i -lt $have.Count) { [void][int64]::TryParse($have[$i], [ref]$a) }
        $b = [int64]0; if ($i -lt $want.Count) { [void][int64]::TryParse($want[$i], [ref]$b) }
        if ($a -ne $b) { return $a -gt $b }
    }
    return $true
}

# As setup.exe reads it: the first kc1, kc2 or kc3 in the installed package's name; '' for none.
function LevelOf($installer, $code) {
    $name = ''
    try {
        $name = Get-Property $installer 'ProductInfo' @($code, 'PackageName')
    } catch {
    }
    if ($name -match '(?i)kc[1-3]') { return $Matches[0].ToLower() }
    return ''
}

# The installer object's parameterised properties, as JScript reads them directly. The comma keeps
# PowerShell from enumerating a returned collection (RelatedProducts' StringList) on the way out.
function Get-Property($object, $name, $values) {
    return , $object.GetType().InvokeMember($name, 'GetProperty', $null, $object, $values)
}

if ($args.Count -gt 0) { $UpgradeCode = $args[0] }
if ($args.Count -gt 1) { $Lowest = $args[1] }
if ($args.Count -gt 2) { $Levels = $args[2] }
if ($UpgradeCode -notmatch '^\{[0-9A-Fa-f-]{36}\}$' -or $Lowest -notmatch '^\d+(\.\d+)*$') {
    Write-Output "bad setting: UpgradeCode $UpgradeCode, lowest version $Lowest"
    exit 2
}
$installer = $null
try {
    $installer = New-Object -ComObject WindowsInstaller.Installer
} catch {
    Write-Output 'no WindowsInstaller.Installer object'
    exit 2
}
$found = @()
$related = Get-Property $installer 'RelatedProducts' @($UpgradeCode)
# Count and Item, as detect.js reads the list: whether PowerShell enumerates this COM collection
# itself differs between hosts.
$count = Get-Property $related 'Count' @()
for ($i = 0; $i -lt $count; $i++) {
    $item = Get-Property $related 'Item' @($i)
    if ((Get-Property $installer 'ProductState' @($item)) -eq 5) { $found += $item }
}
# Two products are a failed update, not an installation: the tool runs setup.exe, which says so.
if ($found.Count -ne 1) { exit 0 }
$code = $found[0]
$version = Get-Property $installer 'ProductInfo' @($code, 'VersionString')
$level = LevelOf $installer $code
$allowed = $Levels -eq '' -or ($level -ne '' -and (' ' + $Levels.ToLower() + ' ').Contains(' ' + $level + ' '))
if ((AtLeast $version $Lowest) -and $allowed) { Write-Output "installed $code $version $level" }
exit 0
